// The hostile-driver target's table: every export, by ordinal, with the sizes of its out-arrays.
// A family that lands adds its exports here.
#include "export_table.h"

#include "session.h"

namespace mfbfuzz {
namespace {

#define EXPORT(ordinal, fn, ...)                                                                   \
    Export {                                                                                       \
        ordinal, #fn, &call<fn>, Shape {                                                           \
            __VA_ARGS__                                                                            \
        }                                                                                          \
    }

constexpr Shape plain;

const Export table[] = {
    // board access
    EXPORT(100, i_MFB_GetNumberOfBoards),
    EXPORT(101, i_MFB_OpenBoardViaIndex, plain.opening(1)),
    EXPORT(102, i_MFB_CloseBoard),
    EXPORT(105, i_MFB_GetDLLVersion),
    EXPORT(106, i_MFB_GetDeviceDriverVersion),
    EXPORT(107, i_MFB_GetBoardInformation, plain.counted(1, 2)),
    EXPORT(108, i_MFB_OpenBoardViaIdentifier, plain.opening(1)),
    EXPORT(255, i_MFB_GetBoardHardwareType),
    EXPORT(500, i_MFB_GetModuleConfiguration),
    // board interrupts
    EXPORT(103, i_MFB_SetBoardIntRoutine),
    EXPORT(104, i_MFB_ResetBoardIntRoutine),
    // LabVIEW user events (without a runtime on the bus the records find no PostLVUserEvent)
    EXPORT(109, i_MFB_SetLabViewInterrupt),
    EXPORT(110, i_MFB_ResetLabViewInterrupt),
    // firmware
    EXPORT(254, i_MFB_ConfigureAllModule),
    // EEPROM
    EXPORT(111, i_MFB_EepromAMCCWrite),
    EXPORT(112, i_MFB_EepromAMCCRead),
    // board digital ports
    EXPORT(270, i_MFB_ReadDigitalInputs),
    EXPORT(271, i_MFB_SetDigitalOutputsOn),
    EXPORT(272, i_MFB_SetDigitalOutputsOff),
    EXPORT(273, i_MFB_SetPortConfiguration),
    EXPORT(274, i_MFB_SetDigitalOutputMemory),
    // incremental counter
    EXPORT(200, i_MFB_InitCounter),
    EXPORT(201, i_MFB_CounterAutoTest),
    EXPORT(202, i_MFB_ClearCounterValue),
    EXPORT(203, i_MFB_ClearAllCounterValue),
    EXPORT(204, i_MFB_SetInputFilter),
    EXPORT(205, i_MFB_LatchCounter),
    EXPORT(206, i_MFB_ReadLatchRegisterStatus),
    EXPORT(207, i_MFB_ReadLatchRegisterValue),
    EXPORT(208, i_MFB_EnableLatchInterrupt),
    EXPORT(209, i_MFB_DisableLatchInterrupt),
    EXPORT(210, i_MFB_Read16BitCounterValue),
    EXPORT(211, i_MFB_Read32BitCounterValue),
    EXPORT(212, i_MFB_Write16BitCounterValue),
    EXPORT(213, i_MFB_Write32BitCounterValue),
    EXPORT(214, i_MFB_InitIndex),
    EXPORT(215, i_MFB_EnableIndex),
    EXPORT(216, i_MFB_DisableIndex),
    EXPORT(217, i_MFB_GetIndexStatus),
    EXPORT(218, i_MFB_SetIndexAndReferenceSource),
    EXPORT(219, i_MFB_InitReference),
    EXPORT(220, i_MFB_GetReferenceStatus),
    EXPORT(221, i_MFB_GetUASStatus),
    EXPORT(222, i_MFB_GetCBStatus),
    EXPORT(223, i_MFB_Get16BitCBStatus),
    EXPORT(224, i_MFB_GetUDStatus),
    EXPORT(225, i_MFB_GetInterruptUDLatchedStatus),
    EXPORT(226, i_MFB_InitExternalStrobe),
    EXPORT(227, i_MFB_InitCompareLogic),
    EXPORT(228, i_MFB_EnableCompareLogic),
    EXPORT(229, i_MFB_DisableCompareLogic),
    EXPORT(236, i_MFB_SetDigitalChlOn),
    EXPORT(237, i_MFB_SetDigitalChlOff),
    EXPORT(600, i_MFB_SetInputFilterEFG),
    EXPORT(601, i_MFB_ModuloCompareCorrection),
    EXPORT(602, i_MFB_ConfigDigitalChlUse),
    EXPORT(603, i_MFB_InitModuloCompareLogic),
    EXPORT(604, i_MFB_ReadCompareLatchRegister),
    // frequency measurement
    EXPORT(230, i_MFB_InitFrequencyMeasurement),
    EXPORT(231, i_MFB_EnableFrequencyMeasurement),
    EXPORT(232, i_MFB_ReadFrequencyMeasurement),
    EXPORT(233, i_MFB_DisableFrequencyMeasurement),
    // TTL I/O
    EXPORT(238, i_MFB_InitTTLIODirection),
    EXPORT(239, i_MFB_ReadTTLIOChannelValue),
    EXPORT(240, i_MFB_ReadTTLIOPortValue),
    EXPORT(241, i_MFB_ReadTTLIOAllPortValue),
    EXPORT(242, i_MFB_SetTTLIOChannelOn),
    EXPORT(243, i_MFB_SetTTLIOChannelOff),
    EXPORT(244, i_MFB_SetTTLIOChlOn),
    EXPORT(245, i_MFB_SetTTLIOChlOff),
    // timer
    EXPORT(246, i_MFB_InitTimer),
    EXPORT(247, i_MFB_EnableTimer),
    EXPORT(248, i_MFB_DisableTimer),
    EXPORT(249, i_MFB_ReadTimerValue),
    EXPORT(250, i_MFB_ReadAllTimerValue, plain.array(2, 3)),
    EXPORT(251, i_MFB_GetTimerOutputLevel),
    EXPORT(252, i_MFB_GetTimerProgressStatus),
    EXPORT(253, i_MFB_WriteTimerValue),
    EXPORT(301, i_MFB_GetTimerProgressStatusEx),
    // SSI
    EXPORT(256, i_MFB_InitSSI),
    EXPORT(257, i_MFB_InitSSIRawData),
    EXPORT(258, i_MFB_Read1SSIValue),
    EXPORT(259, i_MFB_Read1SSIRawDataValue, plain.array(3, 2)),
    EXPORT(260, i_MFB_ReadAllSSIValue, plain.array(2, 3).array(3, 3)),
    EXPORT(261, i_MFB_ReadAllSSIRawDataValue, plain.counted(2, 3)),
    EXPORT(262, i_MFB_ReadSSI1DigitalInput),
    EXPORT(263, i_MFB_ReadSSIAllDigitalInput),
    EXPORT(264, i_MFB_SetSSIDigitalOutputOn),
    EXPORT(265, i_MFB_SetSSIDigitalOutputOff),
    EXPORT(266, i_MFB_StartSSIAcquisition),
    EXPORT(267, i_MFB_GetSSIAcquisitionStatus),
    EXPORT(268, i_MFB_GetSSIValue),
    EXPORT(269, i_MFB_GetSSIRawDataValue, plain.array(3, 2)),
    // ETM
    EXPORT(280, i_MFB_InitETM, plain.optional(5)),
    EXPORT(281, i_MFB_EnableETM),
    EXPORT(282, i_MFB_DisableETM),
    EXPORT(283, i_MFB_GetETMInitialisation),
    EXPORT(284, i_MFB_GetETMProgressStatus, plain.optional(3)),
    EXPORT(285, i_MFB_ReadETMValue, plain.pauses(3, 64).optional(4).optional(5)),
    EXPORT(286, i_MFB_ReadETMTotalTime, plain.pauses(3, 64).optional(4).optional(5)),
    EXPORT(287, i_MFB_ReadETMDutyCycleValue, plain.pauses(3, 64).optional(4)),
    EXPORT(288, i_MFB_ConvertETMValue),
    // PWM
    EXPORT(290, i_MFB_InitPWM),
    EXPORT(291, i_MFB_SetNewPWMTiming),
    EXPORT(292, i_MFB_EnablePWM),
    EXPORT(293, i_MFB_DisablePWM),
    EXPORT(294, i_MFB_GetPWMInitialisation),
    EXPORT(295, i_MFB_GetPWMStatus),
    EXPORT(296, i_MFB_ReadPWM1DigitalInput),
    EXPORT(297, i_MFB_ReadPWMAllDigitalInputs),
    EXPORT(298, i_MFB_EnableDisablePWMDigitalOutputManualSetting),
    EXPORT(299, i_MFB_SetPWMDigitalOutputOn),
    EXPORT(300, i_MFB_SetPWMDigitalOutputOff),
    // pulse encoder
    EXPORT(400, i_MFB_InitPulseEncoder),
    EXPORT(401, i_MFB_EnablePulseEncoder),
    EXPORT(402, i_MFB_DisablePulseEncoder),
    EXPORT(403, i_MFB_ReadPulseEncoderStatus),
    EXPORT(404, i_MFB_ReadPulseEncoderValue),
    EXPORT(405, i_MFB_WritePulseEncoderValue),
};

#undef EXPORT

} // namespace

const Export* const kExports = table;
const std::size_t kExportCount = std::size(table);

} // namespace mfbfuzz
