/*
 * MFB.dll: programming library of the MFB PCI counter and multifunction board.
 *
 * C API of the library's exports. Plain C with fixed-width types, readable by C and C++ compilers,
 * LabVIEW's header import and ctypes generators.
 *
 * Every i_MFB_ function uses the standard Windows calling convention (MFB_CALL) and returns a
 * signed 16-bit status: 0 on success, a nonzero code otherwise. Codes below 0 are formed by the
 * library and name the check or step that failed; each function lists its own.
 *
 * A board handle is the 32-bit value that i_MFB_OpenBoardViaIndex or i_MFB_OpenBoardViaIdentifier
 * wrote. Out-pointers must be valid: the library does not test them for null, and writes them only
 * where the function says.
 */
#ifndef MFB_H
#define MFB_H

#include <stdint.h>

#if defined(_WIN32)
#define MFB_CALL __stdcall
#elif defined(__i386__)
#define MFB_CALL __attribute__((stdcall))
#else
#define MFB_CALL
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

/* Closes one open of a board; the last close releases the handle.
 * -2 handle not open; -1 the handle could not be closed (the slot is free all the same); 0. */
int16_t MFB_CALL i_MFB_CloseBoard(MFB_BoardHandle dw_BoardHandle);

/* ---- board interrupts --------------------------------------------------------------------------
 */

/* Called on the library's interrupt thread, once per interrupt record: board handle, record byte,
 * interrupt words 1 and 2, number of valid values and the address of the 16 values (valid only
 * during the call). It must return quickly: no further record is read while it runs. */
typedef void(MFB_CALL* MFB_BoardIntRoutine)(uint32_t dw_BoardHandle, uint32_t dw_RecordByte,
                                            uint32_t dw_InterruptWord1, uint32_t dw_InterruptWord2,
                                            uint32_t dw_ValueCount, uint32_t* pdw_Values);

/* -1 handle not open; -2 a routine is already installed; -3 stop event; -4 interrupt event;
 * -5 thread; -6 process priority; -7 thread priority; -8 exchange failed; 0. */
int16_t MFB_CALL i_MFB_SetBoardIntRoutine(MFB_BoardHandle dw_BoardHandle,
                                          MFB_BoardIntRoutine v_InterruptRoutine);
/* -1 handle not open; -2 no routine installed; 0. May be called from inside the routine. */
int16_t MFB_CALL i_MFB_ResetBoardIntRoutine(MFB_BoardHandle dw_BoardHandle);

/* ---- incremental counter -----------------------------------------------------------------------
 */
/* Status of every counter function: -1 handle not open or exchange failed; -15 the function needs
 * an installed interrupt routine; otherwise 0, or the board driver's error status minus one in 16
 * bits (driver status 1 gives 0; -32768 where a refusal would otherwise read as 0).
 * Out values are written whenever the exchange succeeded. */

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
int16_t MFB_CALL i_MFB_GetInterruptUDLatchedStatus(MFB_BoardHandle dw_BoardHandle,
                                                   uint8_t b_ModulNbr, uint8_t* pb_UDStatus);
int16_t MFB_CALL i_MFB_InitExternalStrobe(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                          uint8_t b_ExternalStrobe, uint8_t b_ExternalStrobeLevel);
int16_t MFB_CALL i_MFB_InitCompareLogic(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                        uint32_t dw_CompareValue);
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

/* ---- TTL I/O -----------------------------------------------------------------------------------
 */

int16_t MFB_CALL i_MFB_InitTTLIODirection(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                          uint8_t b_Direction1, uint8_t b_Direction2,
                                          uint8_t b_Direction3, uint8_t b_Direction4);
int16_t MFB_CALL i_MFB_ReadTTLIOChannelValue(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                             uint8_t b_Port, uint8_t b_Channel,
                                             uint8_t* pb_ChannelValue);
int16_t MFB_CALL i_MFB_ReadTTLIOPortValue(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                          uint8_t b_Port, uint8_t* pb_PortValue);
int16_t MFB_CALL i_MFB_ReadTTLIOAllPortValue(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                             uint32_t* pdw_PortValue);
int16_t MFB_CALL i_MFB_SetTTLIOChannelOn(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                         uint8_t b_Port, uint8_t b_Channel);
int16_t MFB_CALL i_MFB_SetTTLIOChannelOff(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                          uint8_t b_Port, uint8_t b_Channel);
int16_t MFB_CALL i_MFB_SetTTLIOChlOn(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                     uint8_t b_Line);
int16_t MFB_CALL i_MFB_SetTTLIOChlOff(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                      uint8_t b_Line);

/* ---- timer -------------------------------------------------------------------------------------
 */

int16_t MFB_CALL i_MFB_InitTimer(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                 uint8_t b_TimerNbr, uint8_t b_TimerMode, uint32_t dw_ReloadValue,
                                 uint8_t b_InputClockSelection, uint8_t b_InputClockLevel,
                                 uint8_t b_OutputLevel, uint8_t b_HardwareGateLevel);
int16_t MFB_CALL i_MFB_EnableTimer(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                   uint8_t b_TimerNbr, uint8_t b_InterruptFlag);
int16_t MFB_CALL i_MFB_DisableTimer(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                    uint8_t b_TimerNbr);
int16_t MFB_CALL i_MFB_ReadTimerValue(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                      uint8_t b_TimerNbr, uint32_t* pdw_TimerValue);
int16_t MFB_CALL i_MFB_ReadAllTimerValue(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                         uint32_t* pdw_TimerValueArray);
int16_t MFB_CALL i_MFB_GetTimerOutputLevel(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                           uint8_t b_TimerNbr, uint8_t* pb_OutputLevel);
int16_t MFB_CALL i_MFB_GetTimerProgressStatus(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                              uint8_t b_TimerNbr, uint8_t* pb_TimerStatus);
int16_t MFB_CALL i_MFB_GetTimerProgressStatusEx(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                                uint8_t b_TimerNbr, uint8_t* pb_TimerStatus);
int16_t MFB_CALL i_MFB_WriteTimerValue(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                       uint8_t b_TimerNbr, uint32_t dw_WriteValue);

/* ---- SSI ---------------------------------------------------------------------------------------
 */

int16_t MFB_CALL i_MFB_InitSSI(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                               uint8_t b_SSIProfile, uint8_t b_PositionTurnLength,
                               uint8_t b_TurnCptLength, uint8_t b_PCIInputClock,
                               uint32_t dw_SSIOutputClock, uint8_t b_SSICountingMode);
int16_t MFB_CALL i_MFB_InitSSIRawData(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                      uint8_t b_SSIProfile, uint8_t b_PCIInputClock,
                                      uint32_t dw_SSIOutputClock);
int16_t MFB_CALL i_MFB_Read1SSIValue(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                     uint8_t b_SelectedSSI, uint32_t* pdw_Position,
                                     uint32_t* pdw_TurnCpt);
int16_t MFB_CALL i_MFB_Read1SSIRawDataValue(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                            uint8_t b_SelectedSSI, uint32_t* pdw_RawData,
                                            uint8_t b_WordCount);
int16_t MFB_CALL i_MFB_ReadAllSSIValue(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                       uint32_t* pdw_PositionArray, uint32_t* pdw_TurnCptArray);
int16_t MFB_CALL i_MFB_ReadAllSSIRawDataValue(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                              uint32_t* pdw_RawDataArray, uint8_t b_WordCount);
int16_t MFB_CALL i_MFB_ReadSSI1DigitalInput(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                            uint8_t b_InputChannel, uint8_t* pb_ChannelStatus);
int16_t MFB_CALL i_MFB_ReadSSIAllDigitalInput(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                              uint8_t* pb_InputStatus);
int16_t MFB_CALL i_MFB_SetSSIDigitalOutputOn(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr);
int16_t MFB_CALL i_MFB_SetSSIDigitalOutputOff(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr);
int16_t MFB_CALL i_MFB_StartSSIAcquisition(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr);
int16_t MFB_CALL i_MFB_GetSSIAcquisitionStatus(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                               uint8_t* pb_Status);
int16_t MFB_CALL i_MFB_GetSSIValue(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                   uint8_t b_SelectedSSI, uint32_t* pdw_Position,
                                   uint32_t* pdw_TurnCpt);
int16_t MFB_CALL i_MFB_GetSSIRawDataValue(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                          uint8_t b_SelectedSSI, uint32_t* pdw_RawData,
                                          uint8_t b_WordCount);

/* ---- PWM ---------------------------------------------------------------------------------------
 */
/* Timing units: 0 ns (150 to 4,294,967,295), 1 us (1 to 429,496,729), 2 ms (1 to 429,496),
 * 3 s (1 to 429), 4 min (1 to 7). A refusal of the board driver with status word s gives
 * -(s + 100) as a 16-bit value, or -32768 where that value would be 0. */

int16_t MFB_CALL i_MFB_InitPWM(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr, uint8_t b_PWM,
                               uint8_t b_TimingUnit, uint32_t dw_LowTiming, uint32_t dw_HighTiming,
                               uint32_t* pdw_RealLowTiming, uint32_t* pdw_RealHighTiming);
int16_t MFB_CALL i_MFB_SetNewPWMTiming(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                       uint8_t b_PWM, uint8_t b_TimingUnit, uint32_t dw_LowTiming,
                                       uint32_t dw_HighTiming);
int16_t MFB_CALL i_MFB_EnablePWM(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr, uint8_t b_PWM,
                                 uint8_t b_StartLevel, uint8_t b_StopMode, uint8_t b_StopLevel,
                                 uint8_t b_ExternGate, uint8_t b_InterruptEnable);
int16_t MFB_CALL i_MFB_DisablePWM(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                  uint8_t b_PWM);
int16_t MFB_CALL i_MFB_GetPWMInitialisation(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                            uint8_t b_PWM, uint8_t* pb_TimingUnit,
                                            uint32_t* pdw_LowTiming, uint32_t* pdw_HighTiming,
                                            uint8_t* pb_StartLevel, uint8_t* pb_StopMode,
                                            uint8_t* pb_StopLevel, uint8_t* pb_ExternGate,
                                            uint8_t* pb_InterruptEnable, uint8_t* pb_Enable);
int16_t MFB_CALL i_MFB_GetPWMStatus(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                    uint8_t b_PWM, uint8_t* pb_PWMOutputStatus,
                                    uint8_t* pb_ExternGateStatus);
int16_t MFB_CALL i_MFB_ReadPWM1DigitalInput(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                            uint8_t b_InputChannel, uint8_t* pb_ChannelStatus);
int16_t MFB_CALL i_MFB_ReadPWMAllDigitalInputs(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr,
                                               uint8_t* pb_InputStatus);
int16_t MFB_CALL i_MFB_EnableDisablePWMDigitalOutputManualSetting(MFB_BoardHandle dw_BoardHandle,
                                                                  uint8_t b_ModulNbr,
                                                                  uint8_t b_ManualSetting);
int16_t MFB_CALL i_MFB_SetPWMDigitalOutputOn(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr);
int16_t MFB_CALL i_MFB_SetPWMDigitalOutputOff(MFB_BoardHandle dw_BoardHandle, uint8_t b_ModulNbr);

#ifdef __cplusplus
}
#endif

#endif /* MFB_H */
