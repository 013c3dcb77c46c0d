// DER elements as asn1js reads them, with the header octets kept, so that
// the strict checks can judge how each element was encoded and not only
// what it holds.
import { fromBER } from "asn1js";

const UNIVERSAL = 1; // asn1js's tag class numbering

/**
 * One element: `identifier` (its first identifier octet), `header` (its
 * identifier and length octets), `content` (its content octets), and
 * `children` for a constructed element. `block` is asn1js's own reading.
 */
function elementOf(block) {
  const whole = block.valueBeforeDecodeView; // a view of the input, not a copy
  const headerLength = block.idBlock.blockLength + block.lenBlock.blockLength;
  const element = {
    identifier: whole[0],
    universal: block.idBlock.tagClass === UNIVERSAL,
    constructed: block.idBlock.isConstructed,
    header: whole.subarray(0, headerLength),
    content: whole.subarray(headerLength),
    indefinite: block.lenBlock.isIndefiniteForm,
    // asn1js reads on past the end of a short input; DER must not.
    truncated: !block.lenBlock.isIndefiniteForm && block.lenBlock.length !== whole.length - headerLength,
    block,
    children: [],
  };
  if (element.constructed && Array.isArray(block.valueBlock.value)) {
    element.children = block.valueBlock.value.map(elementOf);
  }
  return element;
}

/**
 * Reads `der` (a Uint8Array) as one element spanning every byte. Null when
 * asn1js cannot read it or when bytes are left over.
 */
export function readElement(der) {
  let parsed;
  try {
    parsed = fromBER(der);
  } catch {
    return null;
  }
  if (parsed.offset !== der.length) return null;
  return elementOf(parsed.result);
}
