// kxztest: a stand-in for the compression utility that "#zimport" runs, for the import tests.
// Called as the compiler calls the utility, with exactly one argument, the input file, it writes
// "<input>.KXZ" beside it: the input as run-length pairs (a count from 1 to 255, then the byte).
// An input whose text begins with one of these words asks for a failure instead:
//   "!exit N"  ends with exit code N and writes nothing;
//   "!none"    ends with exit code 0 and writes nothing;
//   "!hang"    writes its process id to "<input>.pid" and then waits until it is killed.
// Any other number of arguments ends it with exit code 64 (a path split at a blank is caught so).
// Usage: kxztest FILE
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

bool starts_with(const std::string &text, const char *word)
{
    return text.compare(0, std::char_traits<char>::length(word), word) == 0;
}

std::vector<unsigned char> run_length_pairs(const std::string &in)
{
    std::vector<unsigned char> out;
    for (std::size_t i = 0; i < in.size();) {
        std::size_t n = 1;
        while (i + n < in.size() && n < 255 && in[i + n] == in[i])
            ++n;
        out.push_back(static_cast<unsigned char>(n));
        out.push_back(static_cast<unsigned char>(in[i]));
        i += n;
    }
    return out;
}

}  // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "kxztest: expected exactly one file, got %d arguments\n", argc - 1);
        return 64;
    }
    const std::string input = argv[1];
    std::ifstream in(input, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "kxztest: cannot read %s\n", input.c_str());
        return 66;
    }
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());

    if (starts_with(text, "!exit "))
        return std::atoi(text.c_str() + 6);
    if (starts_with(text, "!none"))
        return 0;
    if (starts_with(text, "!hang")) {
        // Written under another name first: whoever waits for the file finds it whole.
        std::ofstream(input + ".pid.part") << ::getpid() << "\n";
        std::rename((input + ".pid.part").c_str(), (input + ".pid").c_str());
        for (;;)
            ::pause();
    }

    const std::vector<unsigned char> packed = run_length_pairs(text);
    std::ofstream out(input + ".KXZ", std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char *>(packed.data()),
              static_cast<std::streamsize>(packed.size()));
    return out ? 0 : 73;
}
