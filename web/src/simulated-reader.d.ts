// Types of the simulated reader and the simulated navigator.hid.
import type { HIDDeviceLike, HidLike } from "./index.js";

export interface ReaderDescription {
  vendorId: number;
  productId: number;
  /** Report length, report id included. */
  reportLength: number;
  /** The behaviour text, e.g. "echo", "fixed 9000", "ca 1 refuse 2", "delay 300 echo then ca 1". */
  behaviour: string;
  unopenable: boolean;
}

/** Reads "VENDOR PRODUCT REPORT-LENGTH BEHAVIOUR"; null for a blank or comment line. */
export function parseReaderLine(line: string): ReaderDescription | null;

/** What a simulated reader recorded. */
export interface ReaderFindings {
  /** The command messages it received. */
  received: Uint8Array[];
  /** What its CA reader found wrong with the blocks. */
  problems: string[];
  /** Messages whose reports came through two handles (two pages, or two connections). */
  violations: string[];
}

/** What a handle needs of the reader behind it: a SimulatedReaderCore, or the page's end of a shared one. */
export interface SimulatedReaderBehind {
  readonly description: ReaderDescription;
  readonly productName: string;
  readonly gone: boolean;
  attach(handle: SimulatedReader): void;
  open(handle: SimulatedReader): void | Promise<void>;
  close(handle: SimulatedReader): void | Promise<void>;
  take(handle: SimulatedReader, data: Uint8Array): void | Promise<void>;
  unplug(): void;
  findings(): ReaderFindings | Promise<ReaderFindings>;
}

/** One simulated reader, open through any number of handles: every input report goes to every open one. */
export class SimulatedReaderCore implements SimulatedReaderBehind, ReaderFindings {
  /** `name` is its product name; by default one of its own. */
  constructor(description: string | ReaderDescription, name?: string);
  readonly description: ReaderDescription;
  readonly productName: string;
  readonly gone: boolean;
  received: Uint8Array[];
  problems: string[];
  violations: string[];
  attach(handle: SimulatedReader): void;
  open(handle: SimulatedReader): void;
  close(handle: SimulatedReader): void;
  take(handle: SimulatedReader, data: Uint8Array): void;
  unplug(): void;
  findings(): ReaderFindings;
}

/** A handle on a simulated reader: the HIDDevice a page sees. */
export class SimulatedReader extends EventTarget implements HIDDeviceLike {
  constructor(reader: string | ReaderDescription | SimulatedReaderBehind, onUnplug?: (reader: SimulatedReader) => void);
  readonly core: SimulatedReaderBehind;
  readonly vendorId: number;
  readonly productId: number;
  readonly productName: string;
  readonly collections: HIDDeviceLike["collections"];
  readonly opened: boolean;
  readonly reportLength: number;
  readonly gone: boolean;
  granted: boolean;
  /** The reader's, when it lives in this page (a SimulatedReaderCore); else use findings(). */
  readonly received: Uint8Array[] | undefined;
  readonly problems: string[] | undefined;
  readonly violations: string[] | undefined;
  findings(): Promise<ReaderFindings>;
  open(): Promise<void>;
  close(): Promise<void>;
  forget(): Promise<void>;
  sendReport(reportId: number, data: BufferSource): Promise<void>;
  /** The reader disappears, for every handle on it. */
  unplug(): void;
  deliver(report: Uint8Array): void;
  unplugged(): void;
}

export class SimulatedHid extends EventTarget implements HidLike {
  static fromConfig(text: string, options?: { granted?: boolean }): SimulatedHid;
  readers: SimulatedReader[];
  /** "first": the chooser grants the first matching reader; "cancel": none. */
  chooser: "first" | "cancel";
  /** How often requestDevice was called. */
  requests: number;
  attach(reader: string | ReaderDescription | SimulatedReaderBehind, options?: { granted?: boolean }): SimulatedReader;
  getDevices(): Promise<SimulatedReader[]>;
  requestDevice(options: { filters: Array<{ vendorId?: number; productId?: number }> }): Promise<SimulatedReader[]>;
  install(target?: object): this;
}

export function patternBytes(length: number): Uint8Array;
export function makeReport(reportLen: number, control: number, payload?: Uint8Array): Uint8Array;
export function frameMessage(message: Uint8Array, reportLen: number): Uint8Array[];

/**
 * This page's end of the simulated reader `key` that lives in a SharedWorker
 * (made from `line` by the first page that asks): pages of one origin that
 * attach it to their SimulatedHid share one reader.
 */
export function connectSharedReader(line: string, key: string, workerUrl?: string | URL): Promise<SimulatedReaderBehind>;
