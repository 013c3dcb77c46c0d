/* Simulated card readers behind fake setupapi.dll and hid.dll.
 *
 * veldorinsim.dll holds simulated readers and serves each on a named pipe
 * inside the process. The fake setupapi.dll and hid.dll placed beside a
 * program forward the SetupAPI and HID functions a reader's host uses to it,
 * so that unmodified code finds and opens the simulated readers as if they
 * were HID interfaces. Under Wine they are selected with
 * WINEDLLOVERRIDES=setupapi,hid=n,b.
 *
 * Configuration
 * -------------
 * The environment variable VELDORINCTL_SIM_CONFIG names a text file (a
 * Windows path; under Wine a Unix path works too) with one reader a line, in
 * enumeration order:
 *
 *     # vendor product report-length behaviour
 *     155B 4612 65 echo
 *     6A8A 0801 33 ca 1
 *     155B 4612 65 unopenable
 *
 * vendor and product are hexadecimal (0x optional); the report length is the
 * input report length in bytes, report identifier included, in decimal (any
 * value from 0 to 65535, so that readers the host must refuse can be shown).
 * Text after # and blank lines are ignored. Behaviours:
 *
 *     echo                   answers each command with the command itself
 *     silent                 takes commands and never answers
 *     fixed HEX              answers with these bytes, e.g. fixed 9000
 *     length N               answers with N bytes 00 01 02 ... (modulo 251)
 *     ca V [refuse B] [wrong-length B] [echo-others]
 *                            accepts CA download blocks of variant V (1 or 2),
 *                            answers 90 00, refuses block B with 6A 80 or
 *                            answers block B with three bytes; other commands
 *                            are answered 6D 00, or, with echo-others, with
 *                            themselves
 *     count-over             answers with a first report claiming 63 bytes
 *     endless                answers with a first report, then middle reports
 *                            for as long as they are read
 *     unplug-on-command      unplugs when a command arrives
 *     unopenable             is listed, but opening it fails
 *     stray N B              sends N stray middle/last reports, then as B
 *     unplug-after N B       sends the first N reports of B's answer, unplugs
 *     pause-after N MS B     sends the first N reports of B's answer, waits
 *                            MS milliseconds, then sends the rest
 *     delay MS B             waits MS milliseconds, then answers as B
 *     unsolicited B          answers as B, then sends the message "UNASKED"
 *                            (55 4E 41 53 4B 45 44) without being asked
 *     B1 then B2             answers the first command as B1, later ones as B2
 *
 * Each opening of a reader is a fresh connection with fresh behaviour state.
 * A reader that unplugs is gone until it is attached again (as a new reader).
 *
 * Shared readers
 * --------------
 *     155B 4612 65 shared NAME
 *
 * lists a reader that no process serves itself: the shared reader server
 * (sharedreader.exe, beside veldorinsim.dll) serves it to every process, as
 * one HID device that several programs open:
 *
 *     sharedreader NAME "155B 4612 65 BEHAVIOUR" [PARENT_PID]
 *
 * - every open handle (in any process) has an input queue of its own, of 32
 *   reports until HidD_SetNumInputBuffers sets its size (2 to 512); when it
 *   is full the oldest report is dropped;
 * - every input report the reader sends goes to every open handle, and a
 *   handle opened later gets none sent before;
 * - the output reports of every handle feed the one reader, which answers
 *   each whole message as BEHAVIOUR says (one behaviour state for all; an
 *   endless answer is not served, its first report only);
 * - HidD_FlushQueue empties the caller's queue alone, before it returns;
 * - a message whose reports came from two handles is a protocol violation
 *   (VeldorinSim_Violations); a message that another handle's first report
 *   cut off is dropped, as a reader restarts on a first report.
 *
 * The reader's path is \\.\pipe\veldorinsim-shared-NAME (one pipe
 * connection a handle, report lengths 3 to 65). The server prints "ready"
 * once it can be opened, and ends on the control request "quit" or when the
 * process PARENT_PID ends; its control pipe answers what it saw
 * (sim/win32/shared_reader_protocol.h). The control API below asks it for a
 * shared reader's messages, problems and violations; unplugging one takes it
 * from this process's list only, and its handles are not counted by
 * VeldorinSim_OpenHandles (the server sees those of every process).
 *
 * Control API
 * -----------
 * For tests and the page container: attach and unplug readers and look at
 * what they received. Readers are named by the id that attaching returns
 * (ids are never reused). Every function is safe from any thread.
 */
#ifndef VELDORINSIM_H
#define VELDORINSIM_H

#ifdef __cplusplus
extern "C" {
#endif

/* Attaches a reader described by one configuration line, after the readers
 * already present. Returns its id (> 0), or 0 when the line is no reader. */
int VeldorinSim_Attach(const char* line);

/* Replaces every reader by those of the configuration file at `path`.
 * Returns the number attached, or -N when line N is wrong (-1 also when the
 * file cannot be read); nothing changes then. */
int VeldorinSim_LoadConfig(const char* path);

/* Back to the readers of the file named by VELDORINCTL_SIM_CONFIG (none when
 * it is unset). Returns as VeldorinSim_LoadConfig does. */
int VeldorinSim_Reset(void);

/* Unplugs and forgets every reader. */
void VeldorinSim_Clear(void);

/* Unplugs the reader: it leaves the enumeration, its connections fail, its
 * path can no longer be opened. Returns 1 when it was present, else 0. */
int VeldorinSim_Unplug(int reader);

/* 1 when the reader is attached and not unplugged, else 0. */
int VeldorinSim_Present(int reader);

/* Copies the reader's device path with its terminating zero. Returns the
 * path's length, or -1 for an unknown reader or a buffer too small. */
int VeldorinSim_DevicePath(int reader, char* buffer, int capacity);

/* Messages the reader received, over all its connections, in order. */
int VeldorinSim_ReceivedCount(int reader);
/* Copies message `index`; returns its length, or -1 (no such message, or
 * it does not fit `capacity`). */
int VeldorinSim_Received(int reader, int index, unsigned char* buffer, int capacity);
/* Waits until the reader has received `count` messages: 1 if so within
 * `timeoutMs`, else 0. */
int VeldorinSim_WaitForReceived(int reader, int count, int timeoutMs);

/* What a CA reader found wrong with the blocks it received, one problem a
 * line, with its terminating zero. Returns the text's length (0: nothing
 * wrong), or -1 for an unknown reader or a buffer too small. */
int VeldorinSim_Problems(int reader, char* buffer, int capacity);

/* The messages made of the reports of several handles, one a line, with
 * its terminating zero (a shared reader's only). Returns the text's length
 * (0: none), or -1 for an unknown reader or a buffer too small. */
int VeldorinSim_Violations(int reader, char* buffer, int capacity);

/* Times the reader was opened, and the last count given to
 * HidD_SetNumInputBuffers for it (0: never). -1 for an unknown reader. */
int VeldorinSim_Connections(int reader);
int VeldorinSim_InputBuffers(int reader);

/* Leak probes: reader handles still open (the reader's end sees a handle
 * close shortly after the CloseHandle), device information sets not yet
 * destroyed, preparsed data not yet freed. */
int VeldorinSim_OpenHandles(void);
int VeldorinSim_WaitForOpenHandles(int count, int timeoutMs);
int VeldorinSim_OpenDeviceInfoSets(void);
int VeldorinSim_OpenPreparsedData(void);

#ifdef __cplusplus
}
#endif

#endif
