// Support of the download writer, image file and listing tests: a temporary folder, the
// writer's inputs at their defaults (output flags 0x31, compile mode 0, the xmem window at
// 0xE000, no layout, no kept BIOS), file helpers, and an independent reading of Intel HEX by
// objcopy (binutils).
#pragma once

#include <gtest/gtest.h>

#include "core/CC_ADDR.h"
#include "core/CC_ER.h"
#include "driver/CC_FIOZ8.h"
#include "input/CC_IN.h"
#include "linker/CC_ROM.h"
#include "linker/EMITCACHE.h"
#include "HostDoubles.h"
#include "core/SEAM_SETTINGS.h"
#include "SeamDoubles.h"
#include "settings/guiKXPreferences.h"
#include "linker/list_files.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>
#include <vector>

namespace output_test {

namespace fs = std::filesystem;

inline std::vector<uint8_t> read_bytes(const fs::path &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)),
                                std::istreambuf_iterator<char>());
}

inline std::string read_text(const fs::path &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

inline void write_bytes(const fs::path &path, const std::vector<uint8_t> &bytes)
{
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

inline bool have_objcopy() { return std::system("objcopy --version >/dev/null 2>&1") == 0; }

// The bytes objcopy makes of an Intel HEX file (its data from the lowest address on).
inline std::vector<uint8_t> objcopy_binary(const fs::path &hex)
{
    const fs::path out = hex.string() + ".objcopy";
    const std::string command = "objcopy -I ihex -O binary '" + hex.string() + "' '" +
                                out.string() + "' 2>&1";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    return read_bytes(out);
}

// Bytes 0, 1, 2 ... (mod 251, so that no 256-byte pattern repeats in step with the sectors).
inline std::vector<uint8_t> pattern(std::size_t n, uint8_t seed = 0)
{
    std::vector<uint8_t> v(n);
    for (std::size_t i = 0; i < n; ++i)
        v[i] = static_cast<uint8_t>((i + seed) % 251);
    return v;
}

class OutputFiles : public ::testing::Test {
protected:
    fs::path dir;
    std::string source;  // dir/main.c

    void SetUp() override
    {
        dir = fs::temp_directory_path() /
              ("kx-output-" + std::to_string(::getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
        source = (dir / "main.c").string();
        reset_writer_state();
        headless_target_operations() = HeadlessTargetOperations();
        reset_host_services();
        reset_errors();
    }
    void TearDown() override
    {
        close_object_file();
        reset_writer_state();
        reset_settings_to_defaults();
        std::error_code ec;
        fs::remove_all(dir, ec);
    }

    static void reset_writer_state()
    {
        set_output_flags(0x31);
        set_compile_mode_word(0);
        set_code_suppression_counter(0);
        (void)set_xmem_window(0xE);
        clear_flash_sector_map();
        compile_conditions() = CompileConditions{};
        set_image_layout({});
        set_bios_root_code_end(0);
        clear_kept_bios_records();
    }

    fs::path file(const char *extension) const
    {
        return dir / (std::string("main.") + extension);
    }
};

}  // namespace output_test
