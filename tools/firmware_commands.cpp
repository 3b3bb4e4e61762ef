// Firmware commands: show what the loader reads from firmware files, make a file from a raw
// payload, and replace the firmware of a board's four modules.
//
//     mfbctl firmware make logic.bin logic.mfw
//     mfbctl firmware inspect logic.mfw
//     mfbctl firmware flash -b 0 m0.mfw m1.mfw m2.mfw m3.mfw
//
// A flash takes two exchanges per payload byte. The library writes each stage on the standard
// output; the tool takes those lines through a pipe and shows them, and while the bytes are
// programmed and read back, a progress bar on the standard error (on a terminal, or with
// --progress) that follows the simulated flash's counts.
#include "mfbctl.h"

#include "sim/firmware_file.h"

#include <atomic>
#include <chrono>
#include <fstream>
#include <iterator>
#include <thread>

#include "common/console.h"
#include "mfb_vbus.h"

namespace mfbctl {
namespace firmware_commands {

using mfb::sim::FirmwareFileReport;

// ---- inspect ------------------------------------------------------------------------------------

void inspect(const std::vector<std::string>& files, const Output& out) {
    unsigned refused = 0;
    for (const std::string& file : files) {
        const FirmwareFileReport r = mfb::sim::inspect_firmware_file(file);
        Record rec;
        rec.key("file", file).value("accepted", r.accepted).value("payload", r.payload_length);
        rec.detail("size", r.size).detail("header", r.has_header);
        rec.detail("sections", std::vector<std::uint32_t>(std::begin(r.section_length),
                                                          std::end(r.section_length)));
        rec.detail("payload_offset", r.payload_offset);
        rec.detail("payload_available", r.payload_available).detail("reason", r.reason);
        std::string text = fmt::format("{}: {} bytes", file, r.size);
        if (r.has_header)
            text += fmt::format(", sections {} + {} + {} bytes, payload {} bytes at {} ({} there)",
                                r.section_length[0], r.section_length[1], r.section_length[2],
                                r.payload_length, r.payload_offset, r.payload_available);
        text += r.accepted ? ": accepted" : ": not accepted: " + r.reason;
        emit(out, rec, text);
        refused += r.accepted ? 0 : 1;
    }
    if (refused)
        throw std::runtime_error(fmt::format("{} of {} file{} would not be accepted", refused,
                                             files.size(), files.size() == 1 ? "" : "s"));
}

// ---- make ---------------------------------------------------------------------------------------

void make(const std::string& payload_path, const std::string& out_path, const Output& out) {
    std::ifstream in(payload_path, std::ios::binary);
    if (!in)
        throw std::runtime_error(fmt::format("{}: cannot be read", payload_path));
    mfb::sim::FirmwareImage image;
    image.payload.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (image.payload.size() > mfb::sim::kFirmwarePayloadLimit)
        throw std::runtime_error(fmt::format("{}: {} bytes, more than the {} a module takes",
                                             payload_path, image.payload.size(),
                                             mfb::sim::kFirmwarePayloadLimit));
    if (!mfb::sim::write_firmware_file(out_path, image))
        throw std::runtime_error(fmt::format("{}: cannot be written", out_path));
    say(out, fmt::format("{}: firmware file of {} payload bytes", out_path, image.payload.size()));
}

// ---- flash --------------------------------------------------------------------------------------

struct Flash {
    std::vector<std::string> files;
    bool progress = false, yes = false;
    std::optional<std::uint32_t> fail_write, stuck_low;
};

// What the monitor shows while the library programs the board: the stage lines it writes, and
// the progress of the two long stages from the simulated flash's counts.
class Monitor {
  public:
    Monitor(StdoutPipe& pipe, const Output& out, unsigned board, std::uint64_t total, bool bar)
        : pipe_(pipe), out_(out), board_(board), total_(total), sim_(simulated_board(board)),
          bar_(bar && sim_) {
        if (sim_)
            base_ = sim_->flash().counts();
        thread_ = std::thread([this] { run(); });
    }
    // After the library returned and the pipe was restored: shows the rest.
    void finish() { thread_.join(); }

  private:
    enum class Phase { Before, Programming, Reading, After };

    void run() {
        std::string pending;
        while (!pipe_.ended()) {
            pending += pipe_.read(100);
            for (std::size_t end; (end = pending.find('\n', 1)) != std::string::npos;)
                stage(pending.substr(0, end)), pending.erase(0, end);
            // The last stage line has no line end after it; the library flushes each at once.
            if (!pending.empty() && pending.front() == '\n' && pending.size() > 1)
                stage(pending), pending.clear();
            draw(false);
        }
        if (!pending.empty())
            stage(pending);
        end_bar();
    }

    void stage(std::string line) {
        line.erase(0, line.find_first_not_of("\n "));
        if (line.empty())
            return;
        draw(true); // the bar at the end of its stage, then the stage line under it
        end_bar();
        const auto arrow = line.find("-> ");
        const std::string name = arrow == std::string::npos ? line : line.substr(arrow + 3);
        const std::string text =
            render(out_, Record().key("board", board_).value("stage", name), line) + "\n";
        if (out_.format != Format::Values)
            pipe_.print(text);
        if (name == "flash erased")
            start(Phase::Programming);
        else if (name == "flash programmed")
            start(Phase::Reading);
        else if (phase_ != Phase::Before)
            phase_ = Phase::After;
    }

    // The rate is measured on the bus clock, on which the simulated flash spends its write
    // times, from the bytes done when the phase was seen to start.
    void start(Phase p) {
        phase_ = p;
        phase_start_ns_ = mfb::vbus::now_ns();
        phase_base_ = done();
        rate_ = 0;
    }

    std::uint64_t done() const {
        const auto c = sim_->flash().counts();
        // Bytes programmed: the writes that took (a byte is tried up to five times).
        const std::uint64_t n =
            phase_ == Phase::Programming
                ? (c.writes - c.failed_writes) - (base_.writes - base_.failed_writes)
                : c.reads - base_.reads;
        return std::min(n, total_);
    }

    void draw(bool final) {
        if (!bar_ || (phase_ != Phase::Programming && phase_ != Phase::Reading) || total_ == 0)
            return;
        const std::uint64_t measured = done();
        const std::uint64_t elapsed = mfb::vbus::now_ns() - phase_start_ns_;
        if (elapsed > 0 && measured > phase_base_)
            rate_ =
                static_cast<double>(measured - phase_base_) * 1e9 / static_cast<double>(elapsed);
        const std::uint64_t n = final ? total_ : measured;
        const double rate = rate_;
        constexpr unsigned kWidth = 30;
        const auto filled = static_cast<unsigned>(n * kWidth / total_);
        const std::string left =
            n == total_ ? "done"
            : rate > 0  ? fmt::format("{:.1f} s left", static_cast<double>(total_ - n) / rate)
                        : "";
        const std::string speed = rate > 0 ? fmt::format("{:.0f} bytes/s", rate) : "";
        std::fprintf(stderr, "\r%-11s [%s%s] %llu/%llu bytes  %-14s  %-14s",
                     phase_ == Phase::Programming ? "programming" : "reading back",
                     std::string(filled, '#').c_str(), std::string(kWidth - filled, '-').c_str(),
                     static_cast<unsigned long long>(n), static_cast<unsigned long long>(total_),
                     speed.c_str(), left.c_str());
        std::fflush(stderr);
        drawn_ = true;
    }

    void end_bar() {
        if (drawn_)
            std::fputs("\n", stderr);
        drawn_ = false;
    }

    StdoutPipe& pipe_;
    Output out_;
    unsigned board_;
    std::uint64_t total_;
    std::shared_ptr<mfb::sim::SimBoard> sim_;
    bool bar_;
    mfb::sim::Flash::Counts base_;
    Phase phase_ = Phase::Before;
    std::uint64_t phase_start_ns_ = 0, phase_base_ = 0;
    double rate_ = 0;
    bool drawn_ = false;
    std::thread thread_;
};

// Where a flash address lies: the payloads of modules 0 to 3 follow each other from address 0.
std::string flash_position(std::uint32_t address, const std::vector<FirmwareFileReport>& files) {
    std::uint64_t start = 0;
    for (std::size_t m = 0; m < files.size(); ++m) {
        if (address < start + files[m].payload_length)
            return fmt::format("flash address {} (module {} byte {})", address, m, address - start);
        start += files[m].payload_length;
    }
    return fmt::format("flash address {}", address);
}

void flash(unsigned board, const Output& out, const Flash& f) {
    OpenBoard b(board);
    std::vector<FirmwareFileReport> files;
    std::uint64_t total = 0;
    std::string unreadable;
    for (const std::string& file : f.files) {
        files.push_back(mfb::sim::inspect_firmware_file(file));
        total += files.back().accepted ? files.back().payload_length : 0;
        if (!files.back().accepted && unreadable.empty())
            unreadable = fmt::format("{}: {}", file, files.back().reason);
    }
    auto sim = simulated_board(board);
    if ((f.fail_write || f.stuck_low) && !sim)
        throw UsageError(fmt::format("--sim-*: board {} is not a simulated board", board));
    // A fault past the bytes the files program would never be reached: the flash would succeed
    // and the rehearsal would rehearse nothing.
    for (const auto& [name, address] :
         {std::pair{"--sim-fail-write", f.fail_write}, std::pair{"--sim-stuck-low", f.stuck_low}})
        if (address && unreadable.empty() && *address >= total)
            throw UsageError(fmt::format("{}: flash address {} is never reached: the four files "
                                         "program addresses 0 to {}",
                                         name, *address, total - 1));
    if (!f.yes) {
        if (!stdin_is_terminal())
            throw UsageError("firmware flash replaces the firmware of the board's four modules: "
                             "confirm it with -y (--yes) when the standard input is not a "
                             "terminal");
        if (!confirm(fmt::format("Replace the firmware of the four modules of board {} ({} "
                                 "bytes)?",
                                 board, total)))
            throw std::runtime_error("firmware flash: not confirmed, nothing was written");
    }
    if (f.fail_write)
        sim->flash().fail_writes(5, *f.fail_write);
    if (f.stuck_low)
        sim->flash().set_stuck_bit(*f.stuck_low, 0, false);

    std::uint32_t position = 0;
    int status = 0;
    {
        StdoutPipe pipe;
        Monitor monitor(pipe, out, board, total, f.progress || stderr_is_terminal());
        status = i_MFB_ConfigureAllModule(b.handle(), f.files[0].c_str(), f.files[1].c_str(),
                                          f.files[2].c_str(), f.files[3].c_str(), &position);
        pipe.restore();
        monitor.finish();
    }
    if (sim)
        sim->flash().clear_faults();

    const bool has_position = status == -5 || status == -7;
    const std::string meaning =
        status == 0 ? "done" : status_meaning("i_MFB_ConfigureAllModule", status);
    if (status == 0 || out.format == Format::Json) {
        Record r = Record().key("board", board).value("status", status).value("result", meaning);
        if (has_position)
            r.value("error_position", position);
        emit(out, r.detail("bytes", total),
             fmt::format("board {}: the firmware of the four modules is replaced ({} bytes)", board,
                         total));
    }
    if (status == -2 && !unreadable.empty())
        throw CallFailed("i_MFB_ConfigureAllModule", status, unreadable);
    if (has_position)
        throw CallFailed("i_MFB_ConfigureAllModule", status, flash_position(position, files));
    check("i_MFB_ConfigureAllModule", status);
}

void add_firmware_commands(CLI::App& app) {
    auto* fw = app.add_subcommand("firmware", "module firmware files and flashing");
    fw->group(kFirmware);
    fw->require_subcommand(1, 1);

    auto files = std::make_shared<std::vector<std::string>>();
    auto out = std::make_shared<Output>();
    auto* cmd = fw->add_subcommand("inspect", "show what the loader reads from firmware files, "
                                              "and whether it takes them");
    cmd->add_option("FILE", *files, "firmware files")->required();
    add_output_options(cmd, *out);
    cmd->callback([files, out] { inspect(*files, *out); });

    auto paths = std::make_shared<std::array<std::string, 2>>();
    cmd = fw->add_subcommand("make", "make a firmware file from a raw payload");
    cmd->add_option("PAYLOAD", (*paths)[0], "the raw payload, at most 100000 bytes")->required();
    cmd->add_option("OUT", (*paths)[1], "the firmware file to write")->required();
    cmd->callback([paths, out] { make((*paths)[0], (*paths)[1], *out); });

    auto f = std::make_shared<Flash>();
    cmd =
        add_board_command(*fw, "flash",
                          "replace the firmware of a board's four modules (erase, program, "
                          "read back, reload)",
                          kFirmware, [f](unsigned board, const Output& o) { flash(board, o, *f); });
    cmd->add_option("FILE", f->files, "the firmware files of modules 0, 1, 2 and 3")
        ->required()
        ->expected(4);
    cmd->add_flag("-y,--yes", f->yes,
                  "flash without asking (needed where the standard input is not a terminal)");
    cmd->add_flag("--progress", f->progress,
                  "show the progress bar also when the standard error is not a terminal");
    add_number(cmd, "--sim-fail-write", f->fail_write, 0, mfb::sim::Flash::kSize - 1,
               "flash address", "simulated board: writes to this flash address fail");
    add_number(cmd, "--sim-stuck-low", f->stuck_low, 0, mfb::sim::Flash::kSize - 1, "flash address",
               "simulated board: bit 0 at this flash address reads 0");
}

const RegisterCommands registered(400, add_firmware_commands);

} // namespace firmware_commands
} // namespace mfbctl
