// How arguments cross into the library, as they cross into the control:
// strings as text (a number becomes its text form; null and undefined count
// as empty text), integers as signed 32-bit values.

export function toText(value) {
  return value === null || value === undefined ? "" : String(value);
}

/** A signed 32-bit integer; throws a TypeError for what is no number. */
export function toInt32(value) {
  const number = typeof value === "number" ? value : Number(toText(value).trim() || NaN);
  if (!Number.isFinite(number)) throw new TypeError(`not a number: ${toText(value)}`);
  return Math.round(number) | 0;
}
