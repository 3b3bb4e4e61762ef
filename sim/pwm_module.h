// The simulated PWM module: two PWM outputs (0 and 1), three digital inputs and one digital output.
//
// Every request is one buffer that is both request and answer, of the size of its layout; its
// last four bytes carry the driver status word back: 0 when the request was carried out, else one
// of the refusals below, and then nothing changed. A buffer shorter than its layout fails the
// exchange itself.
//
// Driver status words (the library turns s into -(s + 100)):
//   kNotInitialised (1)  SetNewPWMTiming or EnablePWM before InitPWM of that PWM
//   kRunning (2)         InitPWM or EnablePWM while the PWM is enabled
//   kNotManual (3)       SetPWMDigitalOutputOn/Off while the output is not in manual setting
//   kBadRequest (4)      a PWM number, timing unit, duration, setting byte, input number or flag
//                        outside what the library itself allows
//
// Timing (InitPWM 0x90002158, SetNewPWMTiming 0x9000215C). The PWM counts each phase in steps of
// 100 ns (a 10 MHz clock) with 32-bit counters. The first duration is the LOW phase, the second
// the HIGH phase, both in the timing unit (0 ns, 1 us, 2 ms, 3 s, 4 min; limits as the library's).
// Units 1 to 4 are whole multiples of 100 ns and are kept exactly; a duration in nanoseconds is
// rounded to the nearest 100 ns (halves up; 150 -> 200, 249 -> 200), at most 4,294,967,200.
// InitPWM answers the two achieved durations, in the same unit, as set-up results 1 (low) and
// 2 (high). SetNewPWMTiming on an enabled PWM takes effect at once and starts a new period.
//
// Enable (0x90002160) setting bytes, and what the PWM does with them:
//   1 start level    0: a period starts with the low phase, 1: with the high phase
//   2 stop mode      0: DisablePWM stops at once, 1: at the end of the current period
//   3 stop level     level of the output once stopped: 0 low, 1 high, 2 the level it had
//   4 extern gate    1: the PWM runs only while its gate input is high (PWM n: digital input n)
//                    and holds its level while the gate is low; 0: it runs freely
//   5 interrupt      stored and read back; the simulated PWM raises no interrupts
// EnablePWM starts a new period at once. DisablePWM of a PWM that is not enabled does nothing
// and succeeds. GetPWMInitialisation (0x90002168) answers the timing unit and the two durations
// as InitPWM or SetNewPWMTiming gave them (all 0 before), setting bytes 1 to 5 of the last
// enable (0 before), and as setting byte 6 whether the PWM is enabled (1) or not (0); a PWM that
// stops at the end of its period counts as enabled until it has stopped.
//
// Status (0x9000216C): byte 2 the PWM's output level now (0 or 1; 0 before its first enable),
// byte 3 the level of its gate input (digital input n for PWM n), whether or not the gate is used.
//
// Digital inputs: input n is bit n of the input pattern the bench sets (set_inputs; 0 at
// power-on). ReadPWM1DigitalInput (0x90002170) answers 0 or 1 in byte 2, ReadPWMAllDigitalInputs
// (0x90002174) the three bits in byte 1 (bits 3 to 7 are 0).
//
// Digital output: without manual setting (power-on, or manual-setting flag 0 by 0x90002178) the
// module drives it high while either PWM is enabled and low otherwise. With manual setting 1 it
// keeps its level until SetPWMDigitalOutputOn (0x9000217C) or Off (0x90002180) switches it.
#pragma once

#include "sim/sim_board.h"

#include <array>
#include <cstdint>

namespace mfb::sim {

class PwmModule : public Module {
  public:
    static constexpr std::uint32_t kNotInitialised = 1;
    static constexpr std::uint32_t kRunning = 2;
    static constexpr std::uint32_t kNotManual = 3;
    static constexpr std::uint32_t kBadRequest = 4;

    // ---- bench ----
    void set_inputs(std::uint8_t pattern) { inputs_ = pattern & 0x07; }
    std::uint8_t inputs() const { return inputs_; }
    bool output() const;
    bool manual() const { return manual_; }
    bool enabled(std::size_t pwm) const { return pwms_.at(pwm).enabled; }
    std::uint8_t level(std::size_t pwm) const;
    // The achieved low and high phases in nanoseconds (0 before InitPWM).
    std::uint64_t low_ns(std::size_t pwm) const { return pwms_.at(pwm).low_ns; }
    std::uint64_t high_ns(std::size_t pwm) const { return pwms_.at(pwm).high_ns; }

    Function function() const override { return Function::Pwm; }
    void advance(std::uint64_t now_ns, std::uint8_t position, InterruptSink& interrupts) override;

  private:
    struct Pwm {
        bool initialised = false;
        std::uint8_t unit = 0;
        std::uint32_t first = 0, second = 0; // as given
        std::uint64_t low_ns = 0, high_ns = 0;
        std::array<std::uint8_t, 5> settings{};
        bool enabled = false;
        std::uint64_t run_ns = 0; // time run since the period count started
        bool stopping = false;    // stops once run_ns reaches stop_at
        std::uint64_t stop_at = 0;
        std::uint8_t stopped_level = 0;
    };

    bool gate_open(std::size_t pwm) const;
    std::uint8_t phase_level(const Pwm& p) const;
    void stop(Pwm& p, bool at_period_end);
    void catch_up(std::uint64_t now);
    std::uint32_t timing(std::uint8_t* b, bool init, std::size_t pwm);
    std::uint32_t enable(const std::uint8_t* b, std::size_t pwm);
    std::uint32_t answer(std::uint32_t code, std::uint8_t* b, std::uint64_t now_ns) override;

    std::array<Pwm, 2> pwms_;
    std::uint64_t now_ = 0;
    std::uint8_t inputs_ = 0;
    bool manual_ = false;
    bool manual_level_ = false;
};

} // namespace mfb::sim
