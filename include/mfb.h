/*
 * MFB.dll: programming library of the MFB PCI counter and multifunction board.
 *
 * C API of the library's exports. Plain C with fixed-width types, readable by C and C++ compilers,
 * LabVIEW's header import and ctypes generators.
 *
 * MFB.dll comes as a 32-bit and as an x64 DLL, with the same exports at the same ordinals. Every
 * i_MFB_ function uses the standard Windows calling convention (MFB_CALL; x64 has only one) and
 * returns a signed 16-bit status: 0 on success, a nonzero code otherwise. Codes below 0 are formed
 * by the library and name the check or step that failed; each function lists its own.
 *
 * Code lists: "-1 handle not open; -2 module number above 3; 0." in the order of the checks, in the
 * comment right above a function (shared by the functions that follow it without a blank line),
 * and in a section's opening comment the codes that all its functions share.
 * include/mfb_status.json holds the same codes with their meanings; a test keeps the two equal.
 *
 * A board handle is the 32-bit value that i_MFB_OpenBoardViaIndex or i_MFB_OpenBoardViaIdentifier
 * wrote. It stays a 32-bit value in the x64 DLL too: Windows keeps the values of kernel handles
 * within 32 bits, so that 32-bit and 64-bit processes can pass them to each other (truncated, and
 * sign-extended back), and the board's device handle loses nothing on the way. So the API, its
 * records and the callers' declarations are the same for both DLLs. Out-pointers must be valid:
 * the library does not test them for null, and writes them only where the function says.
 */
#ifndef MFB_H
#define MFB_H

#include <stdint.h>

#if defined(_WIN32)
#define MFB_CALL __stdcall
#define MFB_CDECL __cdecl
#elif defined(__i386__)
#define MFB_CALL __attribute__((stdcall))
#define MFB_CDECL __attribute__((cdecl))
#else
#define MFB_CALL
#define MFB_CDECL
#endif

#ifdef __cplusplus
extern "C" {
#endif

typedef uint32_t MFB_BoardHandle;

/* ---- board access ------------------------------------------------------------------------------
 */

/* Counts the boards present and remembers the count for the board-index functions.
 * -1 enumeration failed (count untouched); 0. */
int16_t MFB_CALL i_MFB_GetNumberOfBoards(uint8_t* pb_NumberOfBoards);

/* Opens the board at an index (0 to number of boards - 1). Opens are counted: a board opened
 * twice keeps one handle and needs two closes.
 * -1 enumeration failed; -2 index not below the number of boards (or above 29); -3 device list;
 * -4 device interface; -5 no memory; -6 device path; -7 device open (handle = 0xFFFFFFFF);
 * -9 slot open without a handle (handle = 0); -10 open count at its limit of 65,535; 0. */
int16_t MFB_CALL i_MFB_OpenBoardViaIndex(uint8_t b_BoardIndex, MFB_BoardHandle* pdw_BoardHandle);

/* Opens the first board whose identifier equals the text (case-sensitive).
 * -1 enumeration failed; -2 an identifier could not be read; -3 the open failed; -4 no match; 0. */
int16_t MFB_CALL i_MFB_OpenBoardViaIdentifier(const char* pc_Identifier,
                                              MFB_BoardHandle* pdw_BoardHandle);

/* Reads a board's information record by index; the board need not be open. Uses the count of
 * the last i_MFB_GetNumberOfBoards or open.
 * -1 no boards counted; -2 index not below the count (or above 29); -3 to -6 device path;
 * -7 device open; -8 exchange failed; -9 identifier does not fit the text buffer (nothing
 * written but an empty text when the size is not 0); 0. */
int16_t MFB_CALL i_MFB_GetBoardInformation(uint8_t b_BoardIndex, char* pc_Identifier,
                                           uint32_t dw_IdentifierSize, uint32_t* pdw_Word1,
                                           uint32_t* pdw_Word3, uint32_t* pdw_Word2,
                                           uint32_t* pdw_Word4, uint32_t* pdw_Word5,
                                           uint8_t* pb_InformationByte);

/* Closes one open of a board; the last close uninstalls the board's interrupt routine, as
 * i_MFB_ResetBoardIntRoutine does, and then releases the handle. A board keeps the slot of the
 * index it was opened at, and the functions that take a board handle find it only while the last
 * count of boards still includes that index: a board must not be removed from the system while it
 * is open. The close alone finds an open handle whatever the count.
 * When the board's interrupt thread still runs after the uninstall (which does not wait on an
 * interrupt thread, and gives up waiting after 1000 ms elsewhere), the thread keeps the device
 * handle open until it ends and closes it then. Meanwhile Windows gives the handle's value to no
 * other device, so the thread's reads and its routine's calls with the handle reach no other board
 * (they find the handle not open), and an open of the same board gets a new handle. The close
 * returns 0 then, and a failure of the thread's later close of the handle cannot be reported.
 * -2 handle not open; -1 the handle could not be closed (the slot is free all the same); 0. */
int16_t MFB_CALL i_MFB_CloseBoard(MFB_BoardHandle dw_BoardHandle);

/* The board's hardware type byte, as the board driver reports it.
 * -1 handle not open; -2 exchange failed; 0. */
int16_t MFB_CALL i_MFB_GetBoardHardwareType(MFB_BoardHandle dw_BoardHandle,
                                            uint8_t* pb_HardwareType);

/* The configuration word of a module position, as the board driver reports it; it tells which
 * function the position carries. The module number goes to the driver unchecked. The word is
 * written whenever the exchange went through, also when the driver refuses.
 * -1 handle not open; -100 exchange failed; 0; otherwise the driver's status negated. */
int16_t MFB_CALL i_MFB_GetModuleConfiguration(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                              uint32_t* pdw_Configuration);

/* The library's version word: bits 31-16 build number, bits 15-8 build month and bits 7-0 the
 * build year's last two digits, both as two BCD digits (0x1CD00822: build 7376, August 2022).
 * Always 0. */
int16_t MFB_CALL i_MFB_GetDLLVersion(uint32_t* pdw_Version);

/* The board driver's version word. The handle is not looked up: one that is not open fails the
 * exchange.
 * -1 exchange failed; 0. */
int16_t MFB_CALL i_MFB_GetDeviceDriverVersion(MFB_BoardHandle dw_BoardHandle,
                                              uint32_t* pdw_DriverVersion);

/* ---- board interrupts --------------------------------------------------------------------------
 */

/* Called on the board's interrupt thread of the library, once per interrupt record: board handle,
 * record byte, interrupt words 1 and 2, number of valid values (at most 16, whatever the driver
 * reports) and the address of the 16 values (valid only during the call).
 * The thread runs at time-critical priority in a real-time-class process, and no further record
 * is read while the routine runs: it must return quickly. It may call any function of the
 * library, including i_MFB_ResetBoardIntRoutine and i_MFB_CloseBoard for its own board or
 * another, which then do not wait for any interrupt thread. It should not wait for a thread that
 * may be resetting a routine (such as sending a message to a window whose thread resets): that
 * reset then returns only after its time limit. */
typedef void(MFB_CALL* MFB_BoardIntRoutine)(uint32_t dw_BoardHandle, uint32_t dw_RecordByte,
                                            uint32_t dw_InterruptWord1, uint32_t dw_InterruptWord2,
                                            uint32_t dw_ValueCount, uint32_t* pdw_Values);

/* Installs the board's routine. Records already pending reach it at once, possibly before this
 * function returns; the routine counts as installed from its first call on.
 * The interrupt thread keeps the library loaded until it has ended, also after a reset.
 * -1 handle not open; -2 a routine is already installed (or is being installed or reset on
 * another thread); -3 stop event; -4 interrupt event; -5 thread (or no memory for its record);
 * -6 process priority; -7 thread priority; -8 exchange failed; 0. */
int16_t MFB_CALL i_MFB_SetBoardIntRoutine(MFB_BoardHandle dw_BoardHandle,
                                          MFB_BoardIntRoutine v_InterruptRoutine);
/* Uninstalls the board's routine. Of several calls at once for one board, one does it and the
 * others return -2, as an install made before it returns does. How it ends the board's interrupt
 * thread:
 * - called elsewhere than on an interrupt thread, it waits for the thread to end, at most 1000 ms.
 *   When it returns the routine has returned and is called no more, unless the routine did not
 *   return within that time (blocked on something the resetting thread holds): that call
 *   finishes later, and no other follows.
 * - called on an interrupt thread of the library (inside a routine, of this board or another),
 *   it does not wait: a call under way on the board's thread finishes after it returns, and no
 *   other follows.
 * Either way the thread releases its events and handles as it ends.
 * No record is lost while the reset waits: one that the thread has taken from the driver reaches
 * the routine before the reset returns, and the records still queued in the driver stay there for
 * the next routine. Only when the reset does not wait, or its wait runs out, may the one record
 * that the thread is reading at that moment be lost, as no routine can receive it any more.
 * -1 handle not open; -2 no routine installed; 0. */
int16_t MFB_CALL i_MFB_ResetBoardIntRoutine(MFB_BoardHandle dw_BoardHandle);

/* ---- LabVIEW user events -----------------------------------------------------------------------
 */
/* A LabVIEW program receives a board's interrupts as a user event: i_MFB_SetLabViewInterrupt
 * installs the library's own interrupt routine, which posts every interrupt record to the user
 * event with the LabVIEW runtime's PostLVUserEvent (found at the first interrupt, then kept). The
 * event data is the cluster MFB_LVInterruptData, valid only during the post:
 *   record byte (U32), interrupt word 1 (U32), interrupt word 2 (U32), values (1D array of U32:
 *   the record's valid values, at most 16).
 * The 32-bit DLL lays it out as 32-bit LabVIEW does: packed, 16 bytes, the array handle at
 * offset 12. The x64 DLL lays it out as 64-bit LabVIEW does: natural alignment, 24 bytes, the
 * array handle a pointer at offset 16.
 * The runtime is the module given to SetLVRTModule; without one, the process's main executable
 * when it is a LabVIEW program (it exports gLVRTVersion or AZNewHandle), else lvrt.dll, else
 * lvffrt.dll, whichever is loaded: the library loads none. When no runtime is found, or it lacks
 * PostLVUserEvent, the first interrupt shows a "Fatal Error" message box and ends the process with
 * exit code 1. */

/* The array of values: its element count, then the elements (only the first count are set). */
typedef struct {
    int32_t dimSize;
    uint32_t elt[16];
} MFB_LVValueArray;
typedef MFB_LVValueArray** MFB_LVValueHandle;

#if (defined(_WIN32) && !defined(_WIN64)) || defined(__i386__)
#define MFB_LV_PACKED_CLUSTER 1 /* the 32-bit layout */
#pragma pack(push, 1)
#endif
typedef struct {
    uint32_t dw_RecordByte;
    uint32_t dw_InterruptWord1;
    uint32_t dw_InterruptWord2;
    MFB_LVValueHandle h_Values;
} MFB_LVInterruptData;
#ifdef MFB_LV_PACKED_CLUSTER
#pragma pack(pop)
#endif

/* Posts the board's interrupts to a LabVIEW user event, the refnum that the pointer points to.
 * The refnum is stored for the board unless the handle is not open, whatever the install of the
 * routine returns: with a routine already installed (-2) an installed LabVIEW routine posts to the
 * new refnum from then on. It is stored before the routine is installed, so that records already
 * pending are posted to it.
 * -1 handle not open; otherwise the status of i_MFB_SetBoardIntRoutine: -2 a routine is already
 * installed; -3 stop event; -4 interrupt event; -5 thread; -6 process priority; -7 thread priority;
 * -8 exchange failed; 0. */
int16_t MFB_CALL i_MFB_SetLabViewInterrupt(MFB_BoardHandle dw_BoardHandle,
                                           const uint32_t* pdw_UserEventRefnum);
/* Uninstalls the board's interrupt routine, as i_MFB_ResetBoardIntRoutine does; the refnum stays
 * stored. -1 handle not open; otherwise the status of i_MFB_ResetBoardIntRoutine: -2 no routine
 * installed; 0. */
int16_t MFB_CALL i_MFB_ResetLabViewInterrupt(MFB_BoardHandle dw_BoardHandle);
/* The module of the LabVIEW runtime, for a process in which the library would not find it on its
 * own; it counts only until the first interrupt has found the runtime. The caller removes the
 * argument (cdecl) in the 32-bit DLL; the x64 DLL has only the one convention. */
void MFB_CDECL SetLVRTModule(void* h_Module);

/* ---- board digital ports -----------------------------------------------------------------------
 */
/* Four ports, 0 to 3, of eight bits. A port must be configured before it is read or switched.
 * The library remembers, per board and for as long as it is loaded (closing and reopening the
 * board keeps it), which ports are configured and how, the output byte last computed for each
 * port and the output memory flag. Every function: -1 handle not open; -2 port above 3. */

/* Configuration values 0 or 1 each; while one is 1, input bit 5 (first value) or bit 6 (second
 * value) of the port reads as 0. Nothing is recorded unless the board took the values.
 * -3 first value above 1; -4 second value above 1; -5 exchange failed; 0. */
int16_t MFB_CALL i_MFB_SetPortConfiguration(MFB_BoardHandle dw_BoardHandle, uint8_t b_PortNbr,
                                            uint8_t b_FirstValue, uint8_t b_SecondValue);
/* -3 port not configured; -4 exchange failed; 0. */
int16_t MFB_CALL i_MFB_ReadDigitalInputs(MFB_BoardHandle dw_BoardHandle, uint8_t b_PortNbr,
                                         uint8_t* pb_InputValue);
/* With output memory on, switching on sets and switching off clears the mask's bits of the
 * port's output byte; with it off, switching on makes the mask the whole output byte and
 * switching off is refused. The new byte is remembered even when its exchange fails.
 * -3 port not configured; -4 output memory off (switch off only, nothing sent), or exchange
 * failed; 0. */
int16_t MFB_CALL i_MFB_SetDigitalOutputsOn(MFB_BoardHandle dw_BoardHandle, uint8_t b_PortNbr,
                                           uint8_t b_Mask);
int16_t MFB_CALL i_MFB_SetDigitalOutputsOff(MFB_BoardHandle dw_BoardHandle, uint8_t b_PortNbr,
                                            uint8_t b_Mask);
/* Output memory 0 (off, the start) or 1 (on); nothing is sent.
 * -2 flag above 1; 0. */
int16_t MFB_CALL i_MFB_SetDigitalOutputMemory(MFB_BoardHandle dw_BoardHandle,
                                              uint8_t b_OutputMemory);

/* ---- EEPROM ------------------------------------------------------------------------------------
 */
/* 32-bit words of the EEPROM of the board's PCI interface chip, by address. The handle is not
 * looked up: one that is not open fails the exchange (-100). */

/* On success prints "dw_EepromValue : <value as signed decimal> " and "returnedLength : <answer
 * bytes> " as two lines on the standard output.
 * -100 exchange failed; -1 to -255 the driver's status byte negated; 0. */
int16_t MFB_CALL i_MFB_EepromAMCCWrite(MFB_BoardHandle dw_BoardHandle, uint32_t dw_Address,
                                       uint32_t dw_Value);
/* -100 exchange failed; +100 (positive) the driver refused, value not written; 0. */
int16_t MFB_CALL i_MFB_EepromAMCCRead(MFB_BoardHandle dw_BoardHandle, uint32_t dw_Address,
                                      uint32_t* pdw_Value);

/* ---- module firmware ---------------------------------------------------------------------------
 */
/* Replaces the firmware of all four modules: reads the four firmware files (modules 0 to 3),
 * erases the board's flash, programs the payloads one byte at a time (module 0's first, each
 * module's payload straight after the previous one; the flash address counts payload bytes from
 * 0), reads everything back, compares it and has the board reload its logic. Takes two exchanges
 * per payload byte and 300 ms after the reload. Nothing reaches the board unless all four files
 * load: each must be at least 2,952 bytes and hold its whole payload of at most 100,000 bytes.
 * Each stage is written to the standard output as a line of its own; a file that cannot be
 * closed is reported on the standard error stream.
 * -1 handle not open; -2 a file could not be loaded, or no memory (nothing sent); -4 erase failed;
 * -5 a byte failed to program five times (error position = its flash address); -6 read-back
 * failed; -7 a byte read back differs (error position = the flash address of the first such
 * byte); -8 reload failed; -9 reload check failed; -10 closing request failed; 0 (error position
 * 0). The error position is set to 0 once the comparison starts and not written on -1, -2, -4 or
 * -6. */
int16_t MFB_CALL i_MFB_ConfigureAllModule(MFB_BoardHandle dw_BoardHandle,
                                          const char* pc_FileModule0, const char* pc_FileModule1,
                                          const char* pc_FileModule2, const char* pc_FileModule3,
                                          uint32_t* pdw_ErrorPosition);

/* ---- incremental counter -----------------------------------------------------------------------
 */
/* Every counter function: -1 handle not open or exchange failed; -32768 the board driver refused
 * with a status that would read as 0; any other nonzero code is the board driver's error status
 * minus one in 16 bits (driver status 1 gives 0). The functions that need an installed interrupt
 * routine say so. Out values are written whenever the exchange succeeded. */

int16_t MFB_CALL i_MFB_InitCounter(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                   uint8_t b_Setting1, uint8_t b_Setting2, uint8_t b_Setting3,
                                   uint8_t b_Setting4, uint8_t b_Setting5);
int16_t MFB_CALL i_MFB_CounterAutoTest(MFB_BoardHandle dw_BoardHandle, uint8_t* pb_TestResult);
int16_t MFB_CALL i_MFB_ClearCounterValue(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr);
int16_t MFB_CALL i_MFB_ClearAllCounterValue(MFB_BoardHandle dw_BoardHandle);
int16_t MFB_CALL i_MFB_SetInputFilter(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                      uint8_t b_Filter1, uint8_t b_Filter2);
int16_t MFB_CALL i_MFB_SetInputFilterEFG(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                         uint8_t b_Filter);
int16_t MFB_CALL i_MFB_LatchCounter(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                    uint8_t b_LatchValue);
int16_t MFB_CALL i_MFB_ReadLatchRegisterStatus(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                               uint8_t b_LatchReg, uint8_t* pb_LatchStatus);
int16_t MFB_CALL i_MFB_ReadLatchRegisterValue(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                              uint8_t b_LatchReg, uint32_t* pdw_LatchValue);
/* -15 no interrupt routine installed. */
int16_t MFB_CALL i_MFB_EnableLatchInterrupt(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr);
int16_t MFB_CALL i_MFB_DisableLatchInterrupt(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr);

int16_t MFB_CALL i_MFB_Read16BitCounterValue(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                             uint8_t b_SelectedCounter, uint32_t* pdw_Value);
int16_t MFB_CALL i_MFB_Read32BitCounterValue(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                             uint32_t* pdw_Value);
int16_t MFB_CALL i_MFB_Write16BitCounterValue(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                              uint8_t b_SelectedCounter, uint32_t dw_Value);
int16_t MFB_CALL i_MFB_Write32BitCounterValue(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                              uint32_t dw_Value);
/* -15 index interrupt asked for (b_IndexInterrupt 1) and no interrupt routine installed. */
int16_t MFB_CALL i_MFB_InitIndex(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                 uint8_t b_Setting1, uint8_t b_Setting2, uint8_t b_Setting3,
                                 uint8_t b_IndexInterrupt);

int16_t MFB_CALL i_MFB_EnableIndex(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr);
int16_t MFB_CALL i_MFB_DisableIndex(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr);
int16_t MFB_CALL i_MFB_GetIndexStatus(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                      uint8_t* pb_IndexStatus);
int16_t MFB_CALL i_MFB_SetIndexAndReferenceSource(MFB_BoardHandle dw_BoardHandle,
                                                  uint8_t b_ModulNbr, uint8_t b_SourceSelection);
int16_t MFB_CALL i_MFB_InitReference(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                     uint8_t b_ReferenceLevel);
int16_t MFB_CALL i_MFB_GetReferenceStatus(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                          uint8_t* pb_ReferenceStatus);
int16_t MFB_CALL i_MFB_GetUASStatus(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                    uint8_t* pb_UASStatus);
int16_t MFB_CALL i_MFB_GetCBStatus(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                   uint8_t* pb_CBStatus);
int16_t MFB_CALL i_MFB_Get16BitCBStatus(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                        uint8_t* pb_CBStatusCounter0, uint8_t* pb_CBStatusCounter1);
int16_t MFB_CALL i_MFB_GetUDStatus(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                   uint8_t* pb_UDStatus);
/* -15 no interrupt routine installed. */
int16_t MFB_CALL i_MFB_GetInterruptUDLatchedStatus(MFB_BoardHandle dw_BoardHandle,
                                                   uint8_t b_ModulNbr, uint8_t* pb_UDStatus);

int16_t MFB_CALL i_MFB_InitExternalStrobe(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                          uint8_t b_ExternalStrobe, uint8_t b_ExternalStrobeLevel);
int16_t MFB_CALL i_MFB_InitCompareLogic(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                        uint32_t dw_CompareValue);
/* -15 no interrupt routine installed. */
int16_t MFB_CALL i_MFB_EnableCompareLogic(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr);

int16_t MFB_CALL i_MFB_DisableCompareLogic(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr);
int16_t MFB_CALL i_MFB_SetDigitalChlOn(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr);
int16_t MFB_CALL i_MFB_SetDigitalChlOff(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr);
int16_t MFB_CALL i_MFB_ModuloCompareCorrection(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                               uint16_t w_Correction1, uint16_t w_Correction2);
int16_t MFB_CALL i_MFB_ConfigDigitalChlUse(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                           uint8_t b_DigitalChlUse);
int16_t MFB_CALL i_MFB_InitModuloCompareLogic(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                              uint32_t dw_ModuloValue, uint8_t b_ModuloOption);
int16_t MFB_CALL i_MFB_ReadCompareLatchRegister(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                                uint32_t* pdw_LatchValue);

/* ---- frequency measurement ---------------------------------------------------------------------
 */
/* The module measures over a gate time counted in ticks of its clock (one tick is 4 / clock
 * microseconds). Out values are written whenever the exchange succeeded. Status of every function,
 * as the counter functions: -1 handle not open or exchange failed; -32768 the board driver refused
 * with a status that would read as 0; otherwise 0, or the board driver's error status minus one in
 * 16 bits. */

/* Clock frequency 30, 33 or 40 (MHz); time unit 0 ns, 1 us, 2 ms; gate time, bounds included:
 * clock 30: 266 to 8,738,133 ns, 1 to 8,738 us, 1 to 8 ms; clock 33: 242 to 7,943,757 ns, 1 to
 * 7,943 us, 1 to 7 ms; clock 40: 200 to 6,553,500 ns, 1 to 6,553 us, 1 to 6 ms. The gate time is
 * rounded to whole ticks (halves up); the gate time those ticks give, rounded to the unit, is
 * written to *pdw_RealGateTime before the request is sent.
 * -1 handle not open; -5 time unit above 2; -6 clock frequency; -7 gate time out of bounds;
 * -1 exchange failed; driver status; 0. */
int16_t MFB_CALL i_MFB_InitFrequencyMeasurement(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                                uint8_t b_ClockFrequency, uint8_t b_TimeUnit,
                                                uint32_t dw_GateTime, uint32_t* pdw_RealGateTime);
/* The enable setting goes to the driver unchanged. */
int16_t MFB_CALL i_MFB_EnableFrequencyMeasurement(MFB_BoardHandle dw_BoardHandle,
                                                  uint8_t b_ModulNbr, uint8_t b_EnableSetting);
/* Result bytes 1 and 2 and the measured value as the driver gives them, written also when the
 * driver reports an error. */
int16_t MFB_CALL i_MFB_ReadFrequencyMeasurement(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                                uint8_t* pb_Result1, uint8_t* pb_Result2,
                                                uint32_t* pdw_MeasuredValue);
int16_t MFB_CALL i_MFB_DisableFrequencyMeasurement(MFB_BoardHandle dw_BoardHandle,
                                                   uint8_t b_ModulNbr);

/* ---- TTL I/O -----------------------------------------------------------------------------------
 */

/* TTL-level lines in ports of up to eight channels. The reads address ports 0 to 3, the switches
 * ports 0 to 4; line numbers 0 to 25 name channel 0 of ports 0 and 1, then the eight channels of
 * ports 2, 3 and 4 in turn. Every function: -1 handle not open; -2 module number above 3; its other
 * codes follow, the last one for a failed exchange. */

/* Sets the line directions; each flag 0 or 1.
 * -3 to -6 direction flag 1 to 4 above 1; -7 exchange failed; 0. */
int16_t MFB_CALL i_MFB_InitTTLIODirection(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                          uint8_t b_Direction1, uint8_t b_Direction2,
                                          uint8_t b_Direction3, uint8_t b_Direction4);
/* -3 port above 3; -4 channel above 7; -5 exchange failed; 0. */
int16_t MFB_CALL i_MFB_ReadTTLIOChannelValue(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                             uint8_t b_Port, uint8_t b_Channel,
                                             uint8_t* pb_ChannelValue);
/* -3 port above 3; -4 exchange failed; 0. */
int16_t MFB_CALL i_MFB_ReadTTLIOPortValue(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                          uint8_t b_Port, uint8_t* pb_PortValue);
/* -3 exchange failed; 0. */
int16_t MFB_CALL i_MFB_ReadTTLIOAllPortValue(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                             uint32_t* pdw_PortValue);
/* Switch one line on or off by port and channel.
 * -3 port above 4; -4 channel above 7; -5 exchange failed; 0. */
int16_t MFB_CALL i_MFB_SetTTLIOChannelOn(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                         uint8_t b_Port, uint8_t b_Channel);
int16_t MFB_CALL i_MFB_SetTTLIOChannelOff(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                          uint8_t b_Port, uint8_t b_Channel);
/* Switch one line on or off by line number.
 * -3 line above 25; -4 exchange failed; 0. */
int16_t MFB_CALL i_MFB_SetTTLIOChlOn(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                     uint8_t b_Line);
int16_t MFB_CALL i_MFB_SetTTLIOChlOff(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                      uint8_t b_Line);

/* ---- timer -------------------------------------------------------------------------------------
 */

/* Three timers, 0 to 2, per module. Every function: -1 handle not open; -2 module number above 3;
 * -3 timer number above 2, where it takes one; its other codes follow, the last one for a failed
 * exchange. Out values are written only on success. */

/* Sets a timer up: mode 0 to 5; input clock selection 0 to 2 (1, the timer below as clock, not
 * for timer 0); input clock level, output level and hardware gate level 0 or 1.
 * -4 mode above 5; -5 clock selection above 2, or 1 for timer 0; -6 input clock level above 1;
 * -7 output level above 1; -8 gate level above 1; -9 exchange failed; 0. */
int16_t MFB_CALL i_MFB_InitTimer(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                 uint8_t b_TimerNbr, uint8_t b_TimerMode, uint32_t dw_ReloadValue,
                                 uint8_t b_InputClockSelection, uint8_t b_InputClockLevel,
                                 uint8_t b_OutputLevel, uint8_t b_HardwareGateLevel);
/* -4 interrupt flag above 1; -5 exchange failed; 0. */
int16_t MFB_CALL i_MFB_EnableTimer(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                   uint8_t b_TimerNbr, uint8_t b_InterruptFlag);
/* -5 exchange failed (-4 is not used); 0. */
int16_t MFB_CALL i_MFB_DisableTimer(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                    uint8_t b_TimerNbr);
/* -5 exchange failed (-4 is not used); 0. */
int16_t MFB_CALL i_MFB_ReadTimerValue(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                      uint8_t b_TimerNbr, uint32_t* pdw_TimerValue);
/* The values of timers 0, 1 and 2 into an array of three. No timer number: -3 exchange failed;
 * 0. */
int16_t MFB_CALL i_MFB_ReadAllTimerValue(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                         uint32_t* pdw_TimerValueArray);
/* -4 exchange failed; 0. */
int16_t MFB_CALL i_MFB_GetTimerOutputLevel(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                           uint8_t b_TimerNbr, uint8_t* pb_OutputLevel);
/* -4 exchange failed; 0. */
int16_t MFB_CALL i_MFB_GetTimerProgressStatus(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                              uint8_t b_TimerNbr, uint8_t* pb_TimerStatus);
/* -4 exchange failed; 0. */
int16_t MFB_CALL i_MFB_GetTimerProgressStatusEx(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                                uint8_t b_TimerNbr, uint8_t* pb_TimerStatus);
/* -4 exchange failed; 0. */
int16_t MFB_CALL i_MFB_WriteTimerValue(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                       uint8_t b_TimerNbr, uint32_t dw_WriteValue);

/* ---- SSI ---------------------------------------------------------------------------------------
 */
/* Up to three SSI encoders on channels 0 to 2. The module is set up for decoded values (InitSSI:
 * value 1 and value 2 per channel) or for raw frames (InitSSIRawData: one or two words per
 * channel); values are read at once or in two steps (StartSSIAcquisition, GetSSIAcquisitionStatus,
 * GetSSIValue / GetSSIRawDataValue). Every function: -1 handle not open; then its argument codes;
 * the last code of each list is a failed exchange (the driver reports its refusals that way).
 * Out values are written only on success. */

/* Frame length 2 to 32 bits, position bits 1 to the frame length, turn bits 0 to the rest;
 * clock base 30 or 33 (MHz); SSI clock 229 (base 30) or 252 (base 33) to 5,000,000 Hz;
 * option flag 0 or 1.
 * -2 module above 3; -3 frame length; -4 position bits; -5 turn bits; -6 clock base;
 * -7 SSI clock; -8 option flag; -9 exchange failed; 0. */
int16_t MFB_CALL i_MFB_InitSSI(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                               uint8_t b_SSIProfile, uint8_t b_PositionTurnLength,
                               uint8_t b_TurnCptLength, uint8_t b_PCIInputClock,
                               uint32_t dw_SSIOutputClock, uint8_t b_SSICountingMode);
/* Frame length 2 to 48 bits; clock base and SSI clock as i_MFB_InitSSI.
 * -2 module; -3 frame length; -4 clock base; -5 SSI clock; -9 exchange failed; 0. */
int16_t MFB_CALL i_MFB_InitSSIRawData(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                      uint8_t b_SSIProfile, uint8_t b_PCIInputClock,
                                      uint32_t dw_SSIOutputClock);
/* Value 1 and value 2 of one channel, read now.
 * -2 module; -3 channel above 2; -4 exchange failed; 0. */
int16_t MFB_CALL i_MFB_Read1SSIValue(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                     uint8_t b_SelectedSSI, uint32_t* pdw_Position,
                                     uint32_t* pdw_TurnCpt);
/* The raw frame of one channel, read now, into an array of two words: word 0 always, word 1 when
 * the word count is above 1, else element 1 is set to 0.
 * -2 module; -3 channel above 2; -4 exchange failed; 0. */
int16_t MFB_CALL i_MFB_Read1SSIRawDataValue(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                            uint8_t b_SelectedSSI, uint32_t* pdw_RawData,
                                            uint8_t b_WordCount);
/* Value 1 and value 2 of all three channels, element n for channel n.
 * -2 module; -3 exchange failed; 0. */
int16_t MFB_CALL i_MFB_ReadAllSSIValue(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                       uint32_t* pdw_PositionArray, uint32_t* pdw_TurnCptArray);
/* The raw words of all channels: the first b_WordCount words (0 to 16) go to the array; 0 writes
 * nothing. The answer holds 16 words, so a count above 16 is refused with -4 before anything is
 * sent, and nothing is written.
 * -2 module; -4 word count above 16; -3 exchange failed; 0. */
int16_t MFB_CALL i_MFB_ReadAllSSIRawDataValue(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                              uint32_t* pdw_RawDataArray, uint8_t b_WordCount);
/* One bit of the digital input byte, as 0 or 1; bit numbers from 8 up read 0.
 * -2 module; -3 exchange failed; 0. */
int16_t MFB_CALL i_MFB_ReadSSI1DigitalInput(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                            uint8_t b_InputChannel, uint8_t* pb_ChannelStatus);
/* The whole digital input byte. -2 module; -3 exchange failed; 0. */
int16_t MFB_CALL i_MFB_ReadSSIAllDigitalInput(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                              uint8_t* pb_InputStatus);
/* Switch the digital output. -2 module; -3 exchange failed; 0. */
int16_t MFB_CALL i_MFB_SetSSIDigitalOutputOn(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr);
int16_t MFB_CALL i_MFB_SetSSIDigitalOutputOff(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr);
/* Two-step read: start an acquisition of all channels, poll its status, fetch each channel.
 * -2 module; -3 exchange failed; 0. */
int16_t MFB_CALL i_MFB_StartSSIAcquisition(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr);
int16_t MFB_CALL i_MFB_GetSSIAcquisitionStatus(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                               uint8_t* pb_Status);
/* As the immediate reads: -2 module; -3 channel above 2; -4 exchange failed; 0. */
int16_t MFB_CALL i_MFB_GetSSIValue(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                   uint8_t b_SelectedSSI, uint32_t* pdw_Position,
                                   uint32_t* pdw_TurnCpt);
int16_t MFB_CALL i_MFB_GetSSIRawDataValue(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                          uint8_t b_SelectedSSI, uint32_t* pdw_RawData,
                                          uint8_t b_WordCount);

/* ---- ETM ---------------------------------------------------------------------------------------
 */
/* Time-interval measurement in ticks of a time base (unit 0 ns, 1 us, 2 ms, and a value in that
 * unit). The handle is not looked up and no argument is checked. Out values are written only on 0,
 * and optional pointers (as said) may be null. Status of every function: -100 exchange failed (a
 * handle that is not open included); otherwise the board driver's status when it is not 0, else
 * 0. */

/* *pdw_RealTimingBase (optional): the driver's answer to the set-up. */
int16_t MFB_CALL i_MFB_InitETM(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr, uint8_t b_ETMNbr,
                               uint8_t b_TimingUnit, uint32_t dw_TimingBase,
                               uint32_t* pdw_RealTimingBase);
/* Five setting bytes, passed to the driver unchanged. */
int16_t MFB_CALL i_MFB_EnableETM(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                 uint8_t b_ETMNbr, uint8_t b_Setting1, uint8_t b_Setting2,
                                 uint8_t b_Setting3, uint8_t b_Setting4, uint8_t b_Setting5);
int16_t MFB_CALL i_MFB_DisableETM(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                  uint8_t b_ETMNbr);
/* Time-base unit and value and six setting bytes; all pointers required. */
int16_t MFB_CALL i_MFB_GetETMInitialisation(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                            uint8_t b_ETMNbr, uint8_t* pb_TimingUnit,
                                            uint32_t* pdw_TimingBase, uint8_t* pb_Setting1,
                                            uint8_t* pb_Setting2, uint8_t* pb_Setting3,
                                            uint8_t* pb_Setting4, uint8_t* pb_Setting5,
                                            uint8_t* pb_Setting6);
/* *pb_ProgressStatus optional. */
int16_t MFB_CALL i_MFB_GetETMProgressStatus(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                            uint8_t b_ETMNbr, uint8_t* pb_ProgressStatus);
/* Reads with wait: requests are repeated 1 ms apart until the measurement state is 2 or 3
 * (finished) or the wait count runs out: a count N makes at most N requests, each followed by a
 * 1 ms pause unless it ends the wait; 0 makes up to two; 0xFFFFFFFF exactly one, without a pause.
 * On 0 the last answer's state and value are written, finished or not: the state tells. All out
 * pointers optional. */
int16_t MFB_CALL i_MFB_ReadETMValue(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                    uint8_t b_ETMNbr, uint32_t dw_WaitCount,
                                    uint8_t* pb_MeasurementState, uint32_t* pdw_ETMValue);
int16_t MFB_CALL i_MFB_ReadETMTotalTime(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                        uint8_t b_ETMNbr, uint32_t dw_WaitCount,
                                        uint8_t* pb_MeasurementState, uint32_t* pdw_TotalTime);
/* ETM value / total time * 100 (percent) into *pd_DutyCycleValue (required), which holds 0.0 on a
 * failure and for a total time of 0. */
int16_t MFB_CALL i_MFB_ReadETMDutyCycleValue(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                             uint8_t b_ETMNbr, uint32_t dw_WaitCount,
                                             uint8_t* pb_MeasurementState,
                                             double* pd_DutyCycleValue);
/* A tick count as a duration, with the time base of ETM 0 of the module, read from the driver:
 * its status is returned when not 0, and nothing written. All six pointers required; more hours
 * than 0xFFFFFFFF read as 0xFFFFFFFF. */
int16_t MFB_CALL i_MFB_ConvertETMValue(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                       uint32_t dw_TickCount, uint32_t* pdw_Hour,
                                       uint8_t* pb_Minute, uint8_t* pb_Second,
                                       uint32_t* pdw_MilliSecond, uint32_t* pdw_MicroSecond,
                                       uint32_t* pdw_NanoSecond);

/* ---- PWM ---------------------------------------------------------------------------------------
 */
/* Two PWMs (0 and 1), three digital inputs (0 to 2) and one digital output. Timing units:
 * 0 ns (150 to 4,294,967,295), 1 us (1 to 429,496,729), 2 ms (1 to 429,496), 3 s (1 to 429),
 * 4 min (1 to 7); both durations take the limits of the unit. Every function: -1 handle not open;
 * then its argument codes and its code for a failed exchange; a refusal of the board driver with
 * status word s gives -(s + 100) as a 16-bit value (s = 1 gives -101); -32768 a refusal whose
 * code would read as 0. Out values are written only on success (0). */

/* -2 module above 3; -3 PWM above 1; -4 timing unit above 4; -5 first duration; -6 second
 * duration; -7 exchange failed; driver refused; 0. The two results are the driver's set-up
 * results. */
int16_t MFB_CALL i_MFB_InitPWM(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr, uint8_t b_PWM,
                               uint8_t b_TimingUnit, uint32_t dw_LowTiming, uint32_t dw_HighTiming,
                               uint32_t* pdw_RealLowTiming, uint32_t* pdw_RealHighTiming);
/* -2 module above 3; -3 PWM above 1; -4 timing unit above 4; -5 first duration; -6 second
 * duration; -7 exchange failed; driver refused; 0. */
int16_t MFB_CALL i_MFB_SetNewPWMTiming(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                       uint8_t b_PWM, uint8_t b_TimingUnit, uint32_t dw_LowTiming,
                                       uint32_t dw_HighTiming);
/* Setting bytes: 0 or 1, but the third 0 to 2.
 * -2 module; -3 PWM; -4 to -8 setting bytes 1 to 5; -9 exchange failed; driver refused; 0. */
int16_t MFB_CALL i_MFB_EnablePWM(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr, uint8_t b_PWM,
                                 uint8_t b_StartLevel, uint8_t b_StopMode, uint8_t b_StopLevel,
                                 uint8_t b_ExternGate, uint8_t b_InterruptEnable);
/* -2 module; -3 PWM; -4 exchange failed; driver refused; 0. */
int16_t MFB_CALL i_MFB_DisablePWM(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                  uint8_t b_PWM);
/* -2 module; -3 PWM; -4 exchange failed; driver refused; 0. */
int16_t MFB_CALL i_MFB_GetPWMInitialisation(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                            uint8_t b_PWM, uint8_t* pb_TimingUnit,
                                            uint32_t* pdw_LowTiming, uint32_t* pdw_HighTiming,
                                            uint8_t* pb_StartLevel, uint8_t* pb_StopMode,
                                            uint8_t* pb_StopLevel, uint8_t* pb_ExternGate,
                                            uint8_t* pb_InterruptEnable, uint8_t* pb_Enable);
/* -2 module; -3 PWM; -4 exchange failed; driver refused; 0. */
int16_t MFB_CALL i_MFB_GetPWMStatus(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                    uint8_t b_PWM, uint8_t* pb_PWMOutputStatus,
                                    uint8_t* pb_ExternGateStatus);
/* -2 module; -3 input above 2; -4 exchange failed; driver refused; 0. */
int16_t MFB_CALL i_MFB_ReadPWM1DigitalInput(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                            uint8_t b_InputChannel, uint8_t* pb_ChannelStatus);
/* -2 module; -3 exchange failed; driver refused; 0. */
int16_t MFB_CALL i_MFB_ReadPWMAllDigitalInputs(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                               uint8_t* pb_InputStatus);
/* -2 module; -3 flag above 1; -4 exchange failed; driver refused; 0. */
int16_t MFB_CALL i_MFB_EnableDisablePWMDigitalOutputManualSetting(MFB_BoardHandle dw_BoardHandle,
                                                                  uint8_t b_ModulNbr,
                                                                  uint8_t b_ManualSetting);
/* -2 module; -3 exchange failed; driver refused; 0. */
int16_t MFB_CALL i_MFB_SetPWMDigitalOutputOn(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr);
int16_t MFB_CALL i_MFB_SetPWMDigitalOutputOff(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr);

/* ---- pulse encoder -----------------------------------------------------------------------------
 */
/* Every function: -1 handle not open; -100 exchange failed; otherwise the board driver's 16-bit
 * status negated (0 on success). Nothing is checked against a range: numbers, setting bytes and
 * values go to the driver unchanged. The reads write their value also when the driver reports an
 * error. */

int16_t MFB_CALL i_MFB_InitPulseEncoder(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                        uint8_t b_PulseEncoderNbr, uint8_t b_Setting1,
                                        uint8_t b_Setting2, uint32_t dw_SettingValue);
/* Interrupt flag 0: without interrupts; any other value: with, which needs an installed board
 * interrupt routine: -7 (nothing sent) while none is. */
int16_t MFB_CALL i_MFB_EnablePulseEncoder(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                          uint8_t b_PulseEncoderNbr, uint8_t b_EnableSetting,
                                          uint8_t b_InterruptFlag);
int16_t MFB_CALL i_MFB_DisablePulseEncoder(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                           uint8_t b_PulseEncoderNbr);
int16_t MFB_CALL i_MFB_ReadPulseEncoderStatus(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                              uint8_t b_PulseEncoderNbr, uint8_t* pb_Status);
int16_t MFB_CALL i_MFB_ReadPulseEncoderValue(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                             uint8_t b_PulseEncoderNbr, uint32_t* pdw_Value);
int16_t MFB_CALL i_MFB_WritePulseEncoderValue(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                              uint8_t b_PulseEncoderNbr, uint32_t dw_Value);

#ifdef __cplusplus
}
#endif

#endif /* MFB_H */
