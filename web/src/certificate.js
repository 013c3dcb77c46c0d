// The two fields the page reads from a certificate, and their texts: the
// same texts, the same refusals (null) and UTC, as the control gives.
import { encode } from "./base64.js";
import { certificateTime, readStrictDerCertificate, TAGS } from "./strict-der.js";

/**
 * { notBefore, notAfter, serialNumber } of the certificate in `der`, or null
 * when the bytes are not one certificate in strict DER. The times are UTC
 * calendar fields; serialNumber holds every content octet of the serial's
 * DER INTEGER (a leading zero octet included), least significant first.
 */
export function parseCertificate(der) {
  const certificate = readStrictDerCertificate(der);
  if (!certificate) return null;
  const fields = certificate.tbs.children.filter((field) => field.identifier !== TAGS.VERSION);
  const [serial, , , validity] = fields;
  const [notBefore, notAfter] = validity.children.map(certificateTime);
  return { notBefore, notAfter, serialNumber: serial.content.slice().reverse() };
}

const two = (n) => String(n).padStart(2, "0");
const when = (t) => `${t.year}/${two(t.month)}/${two(t.day)} ${two(t.hour)}:${two(t.minute)}:${two(t.second)}`;

/** "YYYY/MM/DD hh:mm:ss,YYYY/MM/DD hh:mm:ss" in UTC. */
export function validityText(fields) {
  return `${when(fields.notBefore)},${when(fields.notAfter)}`;
}

/** The serial number's octets, least significant first, as Base64. */
export function serialText(fields) {
  return encode(fields.serialNumber);
}
