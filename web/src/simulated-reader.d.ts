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

export class SimulatedReader extends EventTarget implements HIDDeviceLike {
  constructor(description: string | ReaderDescription, onUnplug?: (reader: SimulatedReader) => void);
  readonly vendorId: number;
  readonly productId: number;
  readonly productName: string;
  readonly collections: HIDDeviceLike["collections"];
  readonly opened: boolean;
  readonly reportLength: number;
  readonly gone: boolean;
  granted: boolean;
  /** The command messages it received. */
  readonly received: Uint8Array[];
  /** What its CA reader found wrong with the blocks. */
  readonly problems: string[];
  open(): Promise<void>;
  close(): Promise<void>;
  forget(): Promise<void>;
  sendReport(reportId: number, data: BufferSource): Promise<void>;
  unplug(): void;
}

export class SimulatedHid extends EventTarget implements HidLike {
  static fromConfig(text: string, options?: { granted?: boolean }): SimulatedHid;
  readers: SimulatedReader[];
  /** "first": the chooser grants the first matching reader; "cancel": none. */
  chooser: "first" | "cancel";
  /** How often requestDevice was called. */
  requests: number;
  attach(description: string | ReaderDescription, options?: { granted?: boolean }): SimulatedReader;
  getDevices(): Promise<SimulatedReader[]>;
  requestDevice(options: { filters: Array<{ vendorId?: number; productId?: number }> }): Promise<SimulatedReader[]>;
  install(target?: object): this;
}

export function patternBytes(length: number): Uint8Array;
export function makeReport(reportLen: number, control: number, payload?: Uint8Array): Uint8Array;
export function frameMessage(message: Uint8Array, reportLen: number): Uint8Array[];
