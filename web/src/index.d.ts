// Types of veldorinctl-webhid: the card reader's page API over WebHID.

/** The HID object the library finds readers through (navigator.hid or a stand-in). */
export interface HidLike extends EventTarget {
  getDevices(): Promise<HIDDeviceLike[]>;
  requestDevice(options: { filters: Array<{ vendorId?: number; productId?: number }> }): Promise<HIDDeviceLike[]>;
}

/** What the library uses of a HIDDevice. */
export interface HIDDeviceLike extends EventTarget {
  readonly vendorId: number;
  readonly productId: number;
  readonly opened: boolean;
  readonly collections: ReadonlyArray<{
    inputReports?: ReadonlyArray<{ reportId?: number; items?: ReadonlyArray<{ reportSize: number; reportCount: number }> }>;
  }>;
  open(): Promise<void>;
  close(): Promise<void>;
  sendReport(reportId: number, data: BufferSource): Promise<void>;
}

export interface OpenOptions {
  /** The HID object, or a Promise of it; navigator.hid by default. */
  hid?: HidLike | Promise<HidLike>;
  /** false: never show the browser's device chooser (default true). */
  request?: boolean;
  /** How long each exchange may take, in ms; 0 (the default): no limit. */
  exchangeTimeoutMs?: number;
}

/** The two reader identities, in the order they are tried. */
export const READER_IDENTITIES: ReadonlyArray<{ readonly vendorId: number; readonly productId: number }>;

/** Every command and every answer fits a buffer of this many bytes (4096). */
export const MESSAGE_BUFFER_SIZE: number;

/** Unanswered asynchronous calls a connection takes (1024); beyond them callAsync answers "". */
export const MAX_OUTSTANDING_ASYNC_CALLS: number;

/** Result codes of loadCA / LoadCA. */
export const CaResult: Readonly<{
  LOADED: 0;
  REFUSED: 1;
  BAD_VARIANT: 160;
  SEND_FAILED: 177;
  RECEIVE_FAILED: 178;
  BAD_ANSWER: 179;
}>;
export type CaResultCode = 0 | 1 | 160 | 177 | 178 | 179;

/** Event whose detail is the answer (Base64) of a callAsync / DevCallAsync. */
export type DevCallAsyncBackEvent = CustomEvent<string>;

/** An open reader. */
export class ReaderConnection extends EventTarget {
  private constructor();
  /** Nonzero; the value DevOpen returns for this connection. */
  readonly handle: number;
  readonly device: HIDDeviceLike;
  /** The report length, report id included (3 to 65). */
  readonly reportLength: number;
  /** True once close() was called or the reader was unplugged. */
  readonly closed: boolean;
  /** The reader's answer (Base64) to the command (Base64); "" when nothing could be sent or the answer was refused. */
  call(commandBase64: string | null | undefined): Promise<string>;
  /** Answers with a "DevCallAsyncBack" event, in call order; the Promise settles with the answer after the event. */
  callAsync(commandBase64: string | null | undefined): Promise<string>;
  /** Loads a CA certificate (Base64 of its DER) with variant 1 or 2. */
  loadCA(certBase64: string | null | undefined, variant: number): Promise<CaResultCode>;
  /** Ends pending calls with "" and closes the device. */
  close(): Promise<void>;
  addEventListener(
    type: "DevCallAsyncBack",
    listener: (event: DevCallAsyncBackEvent) => void,
    options?: boolean | AddEventListenerOptions,
  ): void;
  addEventListener(type: string, listener: EventListenerOrEventListenerObject | null, options?: boolean | AddEventListenerOptions): void;
}

/**
 * Finds and opens the reader: granted devices first, then the browser's
 * chooser (needs a user gesture). Null when no reader could be opened.
 */
export function openReader(options?: OpenOptions): Promise<ReaderConnection | null>;

/** "YYYY/MM/DD hh:mm:ss,YYYY/MM/DD hh:mm:ss" (UTC), or null when the text is no certificate. */
export function x509ValidDate(certBase64: string | null | undefined): string | null;
/** The serial number's octets, least significant first, as Base64; null when the text is no certificate. */
export function x509Sn(certBase64: string | null | undefined): string | null;

/**
 * Text as the control takes it: undefined is empty text, a number its text
 * form. null is refused (the Promise is rejected with a TypeError whose
 * `number` is 0x80020005, the control's type mismatch).
 */
export type ScriptText = string | number | undefined;
/** A 32-bit integer as the control takes it: undefined is 0, text is read as a number, halves round to even. */
export type ScriptInteger = number | string | undefined;

/**
 * The control's methods and event, each method returning a Promise. A call
 * the control refuses with a script error (null, a wrong number of
 * arguments, an integer beyond 32 bits) is rejected with that error.
 */
export interface ControlLike {
  DevOpen(): Promise<number>;
  DevClose(hDev: ScriptInteger): Promise<void>;
  DevCall(cmd: ScriptText): Promise<string>;
  DevCallAsync(cmd: ScriptText): Promise<void>;
  LoadCA(nFlag: ScriptInteger, b64CAData: ScriptText): Promise<CaResultCode>;
  GetX509ValidDate(b64CAData: ScriptText): Promise<string | null>;
  GetX509Sn(b64CAData: ScriptText): Promise<string | null>;
  /** IE's way to handle the control's event (the only one it fires); true when taken. */
  attachEvent(name: "DevCallAsyncBack", handler: (backData: string) => void): boolean;
  detachEvent(name: "DevCallAsyncBack", handler: (backData: string) => void): void;
}

/** The control's methods and event over WebHID; also an EventTarget of DevCallAsyncBack events. */
export function createControlLike(options?: OpenOptions): ControlLike & EventTarget;

/**
 * The ActiveX control `element` in IE mode (methods as Promises), the
 * library elsewhere. Not an EventTarget in IE mode: bind the event with
 * attachEvent, which both take.
 */
export function pickControl(element: unknown, options?: OpenOptions): ControlLike;
