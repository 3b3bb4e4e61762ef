/*
 * Simulated boards on the Linux build's virtual device bus, for programs that are not C++: C
 * programs, and languages that load libmfb.so (the library, the Linux substitute and the
 * simulated board in one shared library).
 *
 * A program resets the bus to process start, attaches simulated boards and then uses the library
 * through mfb.h as on a real system. The calls here stand for the test bench: they fit a function
 * at a module position and move the inputs a bench would drive. What each simulated module does
 * with its inputs is described in its header in sim/.
 *
 * Every function returns 0 on success and -1 when the board index, module position or argument
 * does not fit (no board simulated at that index, the position does not carry the function the
 * call drives, a number out of range); nothing changes then. Board indexes count the boards on the
 * bus in enumeration order, as i_MFB_OpenBoardViaIndex does. The functions may be called from any
 * thread, also from inside an interrupt routine (but mfb_sim_reset, which ends the interrupt
 * threads).
 */
#ifndef MFB_SIM_H
#define MFB_SIM_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Module functions for mfb_sim_set_function, numbered as the module configuration word names them
 * (bits 7-0). */
enum {
    MFB_SIM_NONE = 0,
    MFB_SIM_COUNTER = 1,
    MFB_SIM_TIMER = 2,
    MFB_SIM_TTL_IO = 3,
    MFB_SIM_SSI = 4,
    MFB_SIM_PWM = 5,
    MFB_SIM_ETM = 6,
    MFB_SIM_FREQUENCY = 7,
    MFB_SIM_PULSE_ENCODER = 8
};

/* Back to process start: every interrupt thread of the library ended, every board detached,
 * faults cleared, the clock real and at zero. Must not be called from an interrupt routine. */
int mfb_sim_reset(void);

/* Attaches `count` default simulated boards (1 to 30 boards on the bus in all) after those
 * already attached; they follow the real clock, ticking from a thread of their own. The functions
 * at their module positions are those of sim/sim_board.h (board 0: counter, timer, TTL I/O, SSI;
 * board 1: PWM, counter, timer, TTL I/O). */
int mfb_sim_attach_boards(unsigned count);

/* The number of boards on the bus. */
unsigned mfb_sim_board_count(void);

/* Fits a function (MFB_SIM_...) at a module position 0 to 3: a new module in its power-on state. */
int mfb_sim_set_function(unsigned board, unsigned module, unsigned function);

/* Counter: encoder input 0 or 1 turning at a rate in edges per second (negative: backwards; at
 * most 10,000,000 either way), or moved by a number of edges at once. */
int mfb_sim_counter_rate(unsigned board, unsigned module, unsigned input, int64_t edges_per_second);
int mfb_sim_counter_pulse(unsigned board, unsigned module, unsigned input, int64_t edges);
/* One pulse on the index track; the level of the reference input. */
int mfb_sim_counter_index_pulse(unsigned board, unsigned module);
int mfb_sim_counter_reference(unsigned board, unsigned module, int high);

/* TTL I/O: the level of one input line (0 to 25, numbered as the library's line functions
 * count them), or of every line at once in the all-ports layout (bits 0-1 and 8-31). */
int mfb_sim_ttl_line(unsigned board, unsigned module, unsigned line, int high);
int mfb_sim_ttl_inputs(unsigned board, unsigned module, uint32_t levels);

/* ETM 0 or 1: the pulse train at its input, period and high time in nanoseconds (period 0
 * disconnects it; the high time must not exceed the period). */
int mfb_sim_etm_signal(unsigned board, unsigned module, unsigned etm, uint64_t period_ns,
                       uint64_t high_ns);

/* Frequency measurement: the frequency at the input in Hz. */
int mfb_sim_frequency_input(unsigned board, unsigned module, uint32_t hz);

/* The board's digital ports 0 to 3: the levels driven onto a port's input lines (bit n, line n). */
int mfb_sim_port_inputs(unsigned board, unsigned port, uint8_t levels);

/* Makes the nth call (1 = the next) of a platform call from now on fail the way Windows reports
 * its failure, with ERROR_GEN_FAILURE as the last error. The call is named as Windows names it:
 * "CreateFileA", "DeviceIoControl", "CreateThread", "HeapAlloc", ... (mfb::vbus::Fn). */
int mfb_sim_fail(const char* call, unsigned nth);

/* Writes a firmware file that the simulated boards' flash accepts: the payload scrambled behind
 * the file header, without the optional sections. -1 also when the file cannot be written or the
 * payload is larger than 100,000 bytes. */
int mfb_sim_write_firmware_file(const char* path, const uint8_t* payload, uint32_t length);
/* Faults of the board's flash, to rehearse a failed update: the next `count` byte writes fail (to
 * any address with address -1, else only those to that address); a bit (0 to 7) of the byte at an
 * address reads as `high`, whatever is written or erased; every fault cleared. */
int mfb_sim_flash_fail_writes(unsigned board, unsigned count, int64_t address);
int mfb_sim_flash_stuck_bit(unsigned board, uint32_t address, unsigned bit, int high);
int mfb_sim_flash_clear_faults(unsigned board);
/* The payload length of a firmware file as the loader reads it (the bytes it flashes), or -1 when
 * the loader would not take the file. */
int32_t mfb_sim_firmware_payload(const char* path);
/* Copies up to `length` bytes of the board's flash from an address into `bytes`; returns the
 * number copied, or -1. */
int32_t mfb_sim_flash_contents(unsigned board, uint32_t address, uint8_t* bytes, uint32_t length);

#ifdef __cplusplus
}
#endif

#endif
