// The gate every certificate passes before its fields are read, the same
// strict profile of DER X.509 that the control applies, so that both give
// the same answer for the same bytes:
//  - one SEQUENCE whose definite, shortest-form length spans every byte;
//  - throughout: definite shortest-form lengths, identifiers in the fewest
//    octets, nesting at most 32 deep, universal types primitive except
//    SEQUENCE and SET, shortest INTEGERs, BOOLEANs of one octet, empty
//    NULLs, well-formed BIT STRINGs and object identifiers, BMP and
//    Universal strings of whole characters;
//  - the X.509 layout, with version v1..v3, validity times of the form
//    YYMMDDHHMMSSZ (UTCTime) or YYYYMMDDHHMMSSZ (GeneralizedTime, year 1601
//    or later) naming a real second, and name values that are directory
//    strings (UTF8, Printable, Teletex, IA5, Numeric, BMP, Universal, each
//    with valid characters) or BIT STRINGs.
// asn1js reads the elements; the rules it does not enforce are checked here.
import { readElement } from "./der-elements.js";

const T = Object.freeze({
  BOOLEAN: 0x01, INTEGER: 0x02, BIT_STRING: 0x03, OCTET_STRING: 0x04, NULL: 0x05, OID: 0x06,
  ENUMERATED: 0x0a, UTF8: 0x0c, NUMERIC: 0x12, PRINTABLE: 0x13, TELETEX: 0x14, IA5: 0x16,
  UTC_TIME: 0x17, GENERALIZED_TIME: 0x18, UNIVERSAL_STRING: 0x1c, BMP: 0x1e, SEQUENCE: 0x30, SET: 0x31,
  VERSION: 0xa0, ISSUER_UNIQUE_ID: 0x81, SUBJECT_UNIQUE_ID: 0x82, EXTENSIONS: 0xa3,
});

const HIGH_TAG_NUMBER = 0x1f;
// Real certificates nest about ten deep.
const MAX_NESTING = 32;
// The earliest year the platform's certificate times can hold.
const EARLIEST_YEAR = 1601;

// ---- Encoding rules of one element's identifier and length octets.

function isShortestHeader(header) {
  let at = 1;
  if ((header[0] & HIGH_TAG_NUMBER) === HIGH_TAG_NUMBER) {
    // A tag number of 31 or more in base 128, in the fewest octets.
    if (header[1] === 0x80) return false;
    let number = 0;
    for (let octets = 0; ; octets++) {
      if (octets === 4 || at >= header.length) return false;
      const octet = header[at++];
      number = number * 128 + (octet & 0x7f);
      if ((octet & 0x80) === 0) {
        if (number < HIGH_TAG_NUMBER) return false;
        break;
      }
    }
  }
  const first = header[at];
  if (first < 0x80) return header.length === at + 1;
  // Long form: never indefinite, no leading zero octet, at most four
  // octets, and only for lengths the short form cannot hold.
  const octets = first & 0x7f;
  if (octets === 0 || octets > 4 || header[at + 1] === 0) return false;
  let length = 0;
  for (let i = 1; i <= octets; i++) length = length * 256 + header[at + i];
  return length >= 0x80;
}

// ---- Content rules of primitive universal types.

function isShortestInteger(c) {
  if (c.length === 0) return false;
  if (c.length === 1) return true;
  return !(c[0] === 0x00 && (c[1] & 0x80) === 0) && !(c[0] === 0xff && (c[1] & 0x80) !== 0);
}

function isDerBitString(c) {
  if (c.length === 0 || c[0] > 7) return false;
  if (c.length === 1) return c[0] === 0;
  return (c[c.length - 1] & ((1 << c[0]) - 1)) === 0;
}

function isObjectIdentifier(c) {
  if (c.length === 0 || (c[c.length - 1] & 0x80) !== 0) return false;
  let atStart = true; // every sub-identifier in the fewest octets
  for (const octet of c) {
    if (atStart && octet === 0x80) return false;
    atStart = (octet & 0x80) === 0;
  }
  return true;
}

const isUnicodeScalar = (value) => value <= 0x10ffff && (value < 0xd800 || value > 0xdfff);

function isUtf8(text) {
  try {
    new TextDecoder("utf-8", { fatal: true }).decode(text);
    return true;
  } catch {
    return false;
  }
}

function isBmpText(c) {
  for (let i = 0; i + 1 < c.length; i += 2) if (!isUnicodeScalar((c[i] << 8) | c[i + 1])) return false;
  return true;
}

function isUniversalText(c) {
  for (let i = 0; i + 3 < c.length; i += 4) {
    if (!isUnicodeScalar(c[i] * 0x1000000 + ((c[i + 1] << 16) | (c[i + 2] << 8) | c[i + 3]))) return false;
  }
  return true;
}

function isDerPrimitive(element) {
  const c = element.content;
  switch (element.identifier) {
    case T.BOOLEAN: return c.length === 1;
    case T.INTEGER:
    case T.ENUMERATED: return isShortestInteger(c);
    case T.BIT_STRING: return isDerBitString(c);
    case T.NULL: return c.length === 0;
    case T.OID: return isObjectIdentifier(c);
    case T.BMP: return c.length % 2 === 0;
    case T.UNIVERSAL_STRING: return c.length % 4 === 0;
    default: return true;
  }
}

function isDerThroughout(element, depth) {
  if (element.indefinite || element.truncated || !isShortestHeader(element.header)) return false;
  if (element.universal) {
    const number = element.identifier & HIGH_TAG_NUMBER;
    // DER builds only SEQUENCE and SET; strings are always primitive.
    const mayBeConstructed = number === (T.SEQUENCE & HIGH_TAG_NUMBER) || number === (T.SET & HIGH_TAG_NUMBER);
    if (number === 0 || number === HIGH_TAG_NUMBER || element.constructed !== mayBeConstructed) return false;
    if (!element.constructed && !isDerPrimitive(element)) return false;
  }
  if (!element.constructed) return true;
  if (depth === MAX_NESTING) return false;
  return element.children.every((child) => isDerThroughout(child, depth + 1));
}

// ---- The X.509 layout; the encoding rules above already hold everywhere.

/** Walks the children of one element in turn. */
class Fields {
  constructor(element) {
    this.list = element.children;
    this.at = 0;
  }
  atEnd() { return this.at === this.list.length; }
  next() { return this.list[this.at++] ?? null; }
  /** The next element when it carries `identifier`; otherwise nothing is read. */
  nextIf(identifier) {
    const element = this.list[this.at];
    if (!element || element.identifier !== identifier) return null;
    this.at++;
    return element;
  }
}

function isAlgorithmIdentifier(element) {
  if (!element) return false;
  const fields = new Fields(element);
  if (!fields.nextIf(T.OID)) return false;
  if (!fields.atEnd()) fields.next(); // parameters of any type
  return fields.atEnd();
}

function isVersion(element) {
  const fields = new Fields(element);
  const version = fields.nextIf(T.INTEGER);
  return version !== null && fields.atEnd() && version.content.length === 1 && version.content[0] <= 2;
}

function isDirectoryString(value) {
  switch (value.identifier) {
    case T.UTF8: return isUtf8(value.content);
    case T.BMP: return isBmpText(value.content);
    case T.UNIVERSAL_STRING: return isUniversalText(value.content);
    case T.NUMERIC: case T.PRINTABLE: case T.TELETEX: case T.IA5: case T.BIT_STRING: return true;
    default: return false;
  }
}

function isAttribute(element) {
  const fields = new Fields(element);
  if (!fields.nextIf(T.OID)) return false;
  const value = fields.next();
  return value !== null && isDirectoryString(value) && fields.atEnd();
}

function isName(element) {
  if (!element || element.identifier !== T.SEQUENCE) return false;
  const names = new Fields(element);
  while (!names.atEnd()) {
    const relative = names.nextIf(T.SET);
    if (!relative) return false;
    const attributes = new Fields(relative);
    while (!attributes.atEnd()) {
      const attribute = attributes.nextIf(T.SEQUENCE);
      if (!attribute || !isAttribute(attribute)) return false;
    }
  }
  return true;
}

const isLeapYear = (year) => (year % 4 === 0 && year % 100 !== 0) || year % 400 === 0;

function daysInMonth(year, month) {
  return month === 2 && isLeapYear(year) ? 29 : [31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31][month - 1];
}

/** `count` decimal digits at `text[at]`, or -1. */
function digits(text, at, count) {
  let value = 0;
  for (let i = at; i < at + count; i++) {
    if (text[i] < 0x30 || text[i] > 0x39) return -1;
    value = value * 10 + (text[i] - 0x30);
  }
  return value;
}

/**
 * The UTC time a validity bound names ({year, month, day, hour, minute,
 * second}), or null when it is not YYMMDDHHMMSSZ / YYYYMMDDHHMMSSZ naming a
 * second that exists. UTCTime years 50..99 are 1950..1999, 00..49 2000..2049.
 */
export function certificateTime(element) {
  if (!element) return null;
  const text = element.content;
  const yearDigits = element.identifier === T.UTC_TIME ? 2 : element.identifier === T.GENERALIZED_TIME ? 4 : 0;
  if (yearDigits === 0 || text.length !== yearDigits + 11 || text[text.length - 1] !== 0x5a) return null;
  let year = digits(text, 0, yearDigits);
  if (yearDigits === 2 && year >= 0) year += year < 50 ? 2000 : 1900;
  const [month, day, hour, minute, second] = [0, 2, 4, 6, 8].map((at) => digits(text, yearDigits + at, 2));
  const real = year >= EARLIEST_YEAR && month >= 1 && month <= 12 && day >= 1 && day <= daysInMonth(year, month) &&
    hour >= 0 && hour <= 23 && minute >= 0 && minute <= 59 && second >= 0 && second <= 59;
  return real ? { year, month, day, hour, minute, second } : null;
}

function isValidity(element) {
  if (!element || element.identifier !== T.SEQUENCE) return false;
  const times = new Fields(element);
  return certificateTime(times.next()) !== null && certificateTime(times.next()) !== null && times.atEnd();
}

function isSubjectPublicKeyInfo(element) {
  if (!element || element.identifier !== T.SEQUENCE) return false;
  const fields = new Fields(element);
  return isAlgorithmIdentifier(fields.nextIf(T.SEQUENCE)) && fields.nextIf(T.BIT_STRING) !== null && fields.atEnd();
}

function isExtension(element) {
  const fields = new Fields(element);
  if (!fields.nextIf(T.OID)) return false;
  fields.nextIf(T.BOOLEAN); // critical, optional
  return fields.nextIf(T.OCTET_STRING) !== null && fields.atEnd();
}

function isExtensions(element) {
  const outer = new Fields(element);
  const list = outer.nextIf(T.SEQUENCE);
  if (!list || !outer.atEnd()) return false;
  const extensions = new Fields(list);
  while (!extensions.atEnd()) {
    const extension = extensions.nextIf(T.SEQUENCE);
    if (!extension || !isExtension(extension)) return false;
  }
  return true;
}

function isTbsCertificate(element) {
  if (!element) return false;
  const fields = new Fields(element);
  const version = fields.nextIf(T.VERSION);
  if (version && !isVersion(version)) return false;
  if (!fields.nextIf(T.INTEGER)) return false; // serial number
  if (!isAlgorithmIdentifier(fields.nextIf(T.SEQUENCE))) return false;
  if (!isName(fields.next())) return false; // issuer
  if (!isValidity(fields.next())) return false;
  if (!isName(fields.next())) return false; // subject
  if (!isSubjectPublicKeyInfo(fields.next())) return false;
  // The unique identifiers are IMPLICIT BIT STRINGs, outside the universal
  // rules above, and must be primitive like any DER BIT STRING.
  for (const field of [T.ISSUER_UNIQUE_ID, T.SUBJECT_UNIQUE_ID]) {
    const id = fields.nextIf(field);
    if (id && !isDerBitString(id.content)) return false;
  }
  const extensions = fields.nextIf(T.EXTENSIONS);
  if (extensions && !isExtensions(extensions)) return false;
  return fields.atEnd();
}

/**
 * The certificate's elements when `der` (a Uint8Array) is exactly one X.509
 * certificate in strict DER, else null: { tbs } with the TBSCertificate's
 * element, whose fields then follow the layout above.
 */
export function readStrictDerCertificate(der) {
  if (!(der instanceof Uint8Array) || der.length === 0) return null;
  const certificate = readElement(der);
  if (!certificate || certificate.identifier !== T.SEQUENCE || !isDerThroughout(certificate, 0)) return null;
  const parts = new Fields(certificate);
  const tbs = parts.nextIf(T.SEQUENCE);
  const valid = isTbsCertificate(tbs) && isAlgorithmIdentifier(parts.nextIf(T.SEQUENCE)) &&
    parts.nextIf(T.BIT_STRING) !== null && parts.atEnd();
  return valid ? { tbs } : null;
}

export const TAGS = T;
