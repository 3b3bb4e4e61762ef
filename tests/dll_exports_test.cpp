// Reads each built MFB.dll as a PE file, the 32-bit one (PE32) and the x64 one (PE32+): its export
// table must hold exactly the names and ordinals of MFB.def, undecorated, and its import table may
// name only Windows system DLLs (the runtime is linked in statically).
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

class PeFile {
  public:
    explicit PeFile(const std::string& path) {
        std::ifstream f(path, std::ios::binary);
        data_.assign(std::istreambuf_iterator<char>(f), {});
        if (data_.size() < 0x40 || u16(0) != 0x5A4D) // "MZ"
            throw std::runtime_error("not a DOS/PE file: " + path);
        pe_ = u32(0x3C);
        if (u32(pe_) != 0x00004550) // "PE\0\0"
            throw std::runtime_error("no PE signature");
        machine_ = u16(pe_ + 4);
        const std::uint32_t sections = u16(pe_ + 6);
        const std::uint32_t optional_size = u16(pe_ + 20);
        optional_ = pe_ + 24;
        magic_ = u16(optional_);
        const std::uint32_t table = optional_ + optional_size;
        for (std::uint32_t i = 0; i < sections; ++i) {
            const std::uint32_t s = table + 40 * i;
            sections_.push_back({u32(s + 12), std::max(u32(s + 8), u32(s + 16)), u32(s + 20)});
        }
    }

    std::uint16_t machine() const { return machine_; }
    std::uint16_t magic() const { return magic_; }

    // Data directory i: (RVA, size). The directories follow the optional header's fixed fields,
    // which are 16 bytes longer in a PE32+ image (five of its fields are 64-bit there).
    std::pair<std::uint32_t, std::uint32_t> directory(int i) const {
        const std::uint32_t fixed = magic_ == 0x20B ? 112 : 96;
        const std::uint32_t d = optional_ + fixed + 8 * static_cast<std::uint32_t>(i);
        return {u32(d), u32(d + 4)};
    }

    std::map<std::string, std::uint32_t> exports() const {
        std::map<std::string, std::uint32_t> out;
        auto [rva, size] = directory(0);
        if (rva == 0)
            return out;
        const std::uint32_t e = offset(rva);
        const std::uint32_t base = u32(e + 16);
        const std::uint32_t names = u32(e + 24);
        const std::uint32_t name_table = offset(u32(e + 32));
        const std::uint32_t ordinal_table = offset(u32(e + 36));
        for (std::uint32_t i = 0; i < names; ++i) {
            std::string name = text(offset(u32(name_table + 4 * i)));
            out[name] = base + u16(ordinal_table + 2 * i);
        }
        return out;
    }

    std::uint32_t export_function_count() const {
        auto [rva, size] = directory(0);
        return rva ? u32(offset(rva) + 20) : 0;
    }

    std::vector<std::string> imports() const {
        std::vector<std::string> out;
        auto [rva, size] = directory(1);
        if (rva == 0)
            return out;
        for (std::uint32_t d = offset(rva);; d += 20) {
            const std::uint32_t name = u32(d + 12);
            if (name == 0)
                break;
            out.push_back(text(offset(name)));
        }
        return out;
    }

  private:
    struct Section {
        std::uint32_t va, size, raw;
    };

    std::uint32_t offset(std::uint32_t rva) const {
        for (const Section& s : sections_)
            if (rva >= s.va && rva < s.va + s.size)
                return rva - s.va + s.raw;
        throw std::runtime_error("RVA outside every section");
    }
    std::uint16_t u16(std::uint32_t off) const {
        check(off, 2);
        return static_cast<std::uint16_t>(byte(off) | byte(off + 1) << 8);
    }
    std::uint32_t u32(std::uint32_t off) const {
        check(off, 4);
        return byte(off) | byte(off + 1) << 8 | byte(off + 2) << 16 |
               static_cast<std::uint32_t>(byte(off + 3)) << 24;
    }
    std::uint32_t byte(std::uint32_t off) const { return static_cast<unsigned char>(data_[off]); }
    std::string text(std::uint32_t off) const {
        std::string s;
        while (off < data_.size() && data_[off] != '\0')
            s += data_[off++];
        return s;
    }
    void check(std::uint32_t off, std::uint32_t n) const {
        if (off + n > data_.size())
            throw std::runtime_error("read past the end of the file");
    }

    std::vector<char> data_;
    std::uint32_t pe_ = 0, optional_ = 0;
    std::uint16_t machine_ = 0, magic_ = 0;
    std::vector<Section> sections_;
};

// name -> ordinal from the export definition file (names carry their stdcall size there, but for
// a cdecl export).
std::map<std::string, std::uint32_t> read_def(const std::string& path) {
    std::ifstream f(path);
    std::map<std::string, std::uint32_t> out;
    const std::regex line(R"(^\s*([A-Za-z_][A-Za-z0-9_]*)(@\d+)?\s+@(\d+)\s*(;.*)?$)");
    std::string s;
    bool in_exports = false;
    while (std::getline(f, s)) {
        if (s.find("EXPORTS") != std::string::npos) {
            in_exports = true;
            continue;
        }
        std::smatch m;
        if (in_exports && std::regex_match(s, m, line))
            out[m[1]] = static_cast<std::uint32_t>(std::stoul(m[3]));
    }
    return out;
}

std::string lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
    return s;
}

// A built DLL and the image it must be.
struct Build {
    const char* name;
    std::string path;
    std::uint16_t machine, magic;
};

std::vector<Build> builds() {
    std::vector<Build> out;
#ifdef MFB_DLL_PATH
    out.push_back({"x86", MFB_DLL_PATH, 0x14C, 0x10B}); // i386, PE32
#endif
#ifdef MFB_DLL64_PATH
    out.push_back({"x64", MFB_DLL64_PATH, 0x8664, 0x20B}); // AMD64, PE32+
#endif
    return out;
}

void PrintTo(const Build& build, std::ostream* out) {
    *out << build.name << " " << build.path;
}

class Dll : public testing::TestWithParam<Build> {};

TEST_P(Dll, IsAnImageOfItsMachine) {
    PeFile dll(GetParam().path);
    EXPECT_EQ(dll.machine(), GetParam().machine);
    EXPECT_EQ(dll.magic(), GetParam().magic);
}

TEST_P(Dll, ExportsExactlyTheDefinitionAtItsOrdinals) {
    PeFile dll(GetParam().path);
    const auto def = read_def(MFB_DEF_PATH);
    ASSERT_FALSE(def.empty());
    const auto exports = dll.exports();
    EXPECT_EQ(exports.size(), def.size());
    EXPECT_EQ(dll.export_function_count() >= def.size(), true);
    for (const auto& [name, ordinal] : def) {
        auto it = exports.find(name);
        ASSERT_NE(it, exports.end()) << name << " is not exported";
        EXPECT_EQ(it->second, ordinal) << name;
    }
    for (const auto& [name, ordinal] : exports) {
        EXPECT_TRUE(def.count(name)) << "unexpected export " << name << " @" << ordinal;
        EXPECT_EQ(name.find('@'), std::string::npos) << "decorated export " << name;
    }
}

// The one cdecl export, under its plain name at its ordinal.
TEST_P(Dll, OrdinalTwoIsSetLVRTModuleUndecorated) {
    std::string at_two;
    for (const auto& [name, ordinal] : PeFile(GetParam().path).exports())
        if (ordinal == 2)
            at_two = name;
    EXPECT_EQ(at_two, "SetLVRTModule");
}

TEST_P(Dll, ImportsOnlyWindowsSystemDlls) {
    PeFile dll(GetParam().path);
    const std::set<std::string> allowed = {"kernel32.dll", "user32.dll", "setupapi.dll",
                                           "msvcrt.dll"};
    const auto imports = dll.imports();
    EXPECT_FALSE(imports.empty());
    for (const auto& name : imports)
        EXPECT_TRUE(allowed.count(lower(name))) << "imports " << name;
}

INSTANTIATE_TEST_SUITE_P(Builds, Dll, testing::ValuesIn(builds()),
                         [](const testing::TestParamInfo<Build>& info) { return info.param.name; });

} // namespace
