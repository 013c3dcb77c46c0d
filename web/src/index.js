// The card reader's page API over WebHID.
export {
  ReaderConnection, openReader, READER_IDENTITIES, MESSAGE_BUFFER_SIZE, MAX_OUTSTANDING_ASYNC_CALLS,
} from "./reader-connection.js";
export { x509ValidDate, x509Sn } from "./x509.js";
export { createControlLike, pickControl } from "./control-like.js";
export { CaResult } from "./download-ca.js";
