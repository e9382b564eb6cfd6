// kxreg: reads a settings store file the way the IDE reads its own at start-up and prints the
// tree in the file's form; then writes that tree to a second file and reads it back, which must
// give the same tree again. The fuzz smoke test feeds it mutated store files.
//   kxreg FILE
// Exit status: 0 read (and written back alike), 1 the file was damaged or could not be read
// (the reason on the standard error; a damaged file is set aside as the store does), 3 the
// tree written back read differently (a fault of the store), 64 bad arguments.
#include "RegistryStore.h"

#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

namespace fs = std::filesystem;

namespace {

int fault(const std::string &what)
{
    std::fprintf(stderr, "kxreg: %s\n", what.c_str());
    return 3;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: kxreg FILE\n");
        return 64;
    }
    const std::string path = argv[1];
    std::string tree;
    {
        RegistryStore store(path);
        if (const auto damage = store.take_damage()) {
            std::fprintf(stderr, "kxreg: %s: %s%s%s\n", damage->file.c_str(),
                         damage->reason.c_str(), damage->kept_as.empty() ? "" : "; kept as ",
                         damage->kept_as.c_str());
            return 1;
        }
        tree = store.serialize();
    }
    std::fwrite(tree.data(), 1, tree.size(), stdout);

    // The same tree through a flush of a fresh store and a second read.
    const std::string copy = path + ".kxreg-copy";
    std::error_code ec;
    fs::remove(copy, ec);
    {
        RegistryStore source(path);
        RegistryStore target(copy);
        // Walk the source's keys with an explicit list, the way the store itself does.
        std::vector<std::string> keys{""};
        for (std::size_t i = 0; i < keys.size(); ++i) {
            // A file may hold what the store never writes (a key name past its limit): such a
            // tree is read, but cannot be opened by that name nor written back to compare.
            if (!source.open_key(keys[i], false)) {
                if (source.last_error().find("longer than") != std::string::npos)
                    return 0;
                return fault("key '" + keys[i] + "' cannot be opened again: " +
                             source.last_error());
            }
            if (!target.open_key(keys[i], true))
                return 0;
            for (const std::string &sub : source.key_names())
                keys.push_back(keys[i].empty() ? sub : keys[i] + "\\" + sub);
            for (const std::string &name : source.value_names()) {
                const std::optional<RegType> type = source.value_type(name);
                if (!type)
                    return fault("value '" + name + "' is listed but not found");
                bool ok = false;
                switch (*type) {
                case RegType::String: {
                    const auto text = source.read_string(name);
                    ok = text && target.write_string(name, *text);
                    break;
                }
                case RegType::Integer:
                    ok = target.write_integer(name, source.read_integer(name).value_or(0));
                    break;
                case RegType::Binary: {
                    const auto data = source.read_binary(name);
                    ok = data && target.write_binary(name, data->data(), data->size());
                    break;
                }
                }
                if (!ok)
                    return 0;  // past the store's limits, as above
            }
        }
        if (!target.flush())
            return fault(target.last_error());
    }
    RegistryStore again(copy);
    const bool same = !again.damage() && again.serialize() == tree;
    fs::remove(copy, ec);
    fs::remove(copy + ".lock", ec);
    if (!same)
        return fault("the tree written back reads differently");
    return 0;
}
