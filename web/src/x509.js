// The certificate methods: validity and serial number of a certificate
// given as the Base64 text of its DER, without the reader.
import { decode } from "./base64.js";
import { parseCertificate, serialText, validityText } from "./certificate.js";
import { MESSAGE_BUFFER_SIZE } from "./reader-connection.js";
import { toText } from "./text.js";

function fieldsOf(certBase64) {
  const der = decode(toText(certBase64), MESSAGE_BUFFER_SIZE);
  return der && parseCertificate(der);
}

/** "YYYY/MM/DD hh:mm:ss,YYYY/MM/DD hh:mm:ss" (UTC), or null when the text is no certificate. */
export function x509ValidDate(certBase64) {
  const fields = fieldsOf(certBase64);
  return fields ? validityText(fields) : null;
}

/** The serial number's octets, least significant first, as Base64; null as above. */
export function x509Sn(certBase64) {
  const fields = fieldsOf(certBase64);
  return fields ? serialText(fields) : null;
}
