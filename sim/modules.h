// The simulated module of each function; sim_board.cpp creates them by function.
#pragma once

#include "sim/sim_board.h"

#include <memory>

namespace mfb::sim {

std::unique_ptr<Module> make_counter_module();
std::unique_ptr<Module> make_timer_module();
std::unique_ptr<Module> make_ttl_module();
std::unique_ptr<Module> make_ssi_module();
std::unique_ptr<Module> make_pwm_module();
std::unique_ptr<Module> make_etm_module();
std::unique_ptr<Module> make_frequency_module();
std::unique_ptr<Module> make_pulse_encoder_module();

} // namespace mfb::sim
