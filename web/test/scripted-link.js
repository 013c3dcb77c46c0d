// A report link for the framing alone, like the C++ vectors' own: it records
// what is written and serves prepared reports; past them reads fail, or with
// `endless` the last one repeats for ever. Reports are whole here (report id
// 0 first), as the vectors give them; the framing sees them without the id.
export class ScriptedLink {
  constructor(reportLen, reports = [], { endless = false, failWritesAfter = -1 } = {}) {
    this.reportLen = reportLen;
    this.reports = reports;
    this.endless = endless;
    this.writesLeft = failWritesAfter;
    this.written = [];
    this.reportsRead = 0;
  }

  async writeReport(bytes) {
    if (this.writesLeft === 0) return false;
    if (this.writesLeft > 0) this.writesLeft--;
    this.written.push(Uint8Array.of(0, ...bytes));
    return true;
  }

  async readReport() {
    const { reports } = this;
    if (this.reportsRead >= reports.length && !(this.endless && reports.length)) return null;
    const served = reports[Math.min(this.reportsRead, reports.length - 1)];
    this.reportsRead++;
    return served.length === this.reportLen ? served.slice(1) : null;
  }
}
