// How the control's methods take a script's arguments, for the control-like
// object: an argument becomes text or a 32-bit integer as the automation
// runtime coerces it on the way into the control, and what it cannot coerce
// fails the call with the error the control raises (its `number` is the
// HRESULT a page written for the control tests).

const DISP_E_TYPEMISMATCH = 0x80020005 | 0;
const DISP_E_OVERFLOW = 0x8002000a | 0;
const DISP_E_BADPARAMCOUNT = 0x8002000e | 0;

function scriptError(ErrorType, message, number) {
  return Object.assign(new ErrorType(message), { number });
}

/** The call fails unless it got exactly `count` arguments. */
export function expectArguments(args, count, method) {
  if (args.length !== count) {
    throw scriptError(TypeError, `${method} takes ${count} argument${count === 1 ? "" : "s"}`, DISP_E_BADPARAMCOUNT);
  }
}

/** Text: undefined is empty text, null is refused, anything else is its text form. */
export function scriptText(value) {
  if (value === null) throw scriptError(TypeError, "Type mismatch: null is no text", DISP_E_TYPEMISMATCH);
  return value === undefined ? "" : String(value);
}

// Halves go to the even neighbour, as the automation runtime rounds.
function roundHalfToEven(number) {
  const floor = Math.floor(number);
  const fraction = number - floor;
  if (fraction !== 0.5) return Math.round(number);
  return floor % 2 === 0 ? floor : floor + 1;
}

/**
 * A signed 32-bit integer: undefined is 0; a number is rounded; text is
 * read as a number. null, text that is no number and anything else are
 * refused; a value beyond the 32-bit range overflows.
 */
export function scriptInt32(value) {
  if (value === undefined) return 0;
  const text = typeof value === "string" ? value.trim() : null;
  const number = typeof value === "number" ? value : text ? Number(text) : NaN;
  if (!Number.isFinite(number)) {
    throw scriptError(TypeError, `Type mismatch: not a number: ${String(value)}`, DISP_E_TYPEMISMATCH);
  }
  const rounded = roundHalfToEven(number);
  if (rounded > 0x7fffffff || rounded < -0x80000000) {
    throw scriptError(RangeError, `Overflow: ${String(value)} is beyond 32 bits`, DISP_E_OVERFLOW);
  }
  return rounded;
}
