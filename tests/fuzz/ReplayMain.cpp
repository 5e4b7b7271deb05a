// Runs a fuzz target once over every file of the given files and folders, so that a corpus is
// replayed by any compiler, without libFuzzer.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput (const uint8_t* data, size_t size);

static int runFile (const std::filesystem::path& path)
{
    std::ifstream in (path, std::ios::binary);
    if (! in)
    {
        std::fprintf (stderr, "cannot read %s\n", path.c_str());
        return 1;
    }
    const std::vector<char> bytes ((std::istreambuf_iterator<char> (in)), std::istreambuf_iterator<char>());
    LLVMFuzzerTestOneInput (reinterpret_cast<const uint8_t*> (bytes.data()), bytes.size());
    return 0;
}

int main (int argc, char** argv)
{
    int files = 0, failures = 0;

    for (int i = 1; i < argc; ++i)
    {
        const std::filesystem::path arg (argv[i]);
        if (std::filesystem::is_directory (arg))
        {
            for (const auto& entry : std::filesystem::recursive_directory_iterator (arg))
                if (entry.is_regular_file())
                {
                    failures += runFile (entry.path());
                    ++files;
                }
        }
        else
        {
            failures += runFile (arg);
            ++files;
        }
    }

    std::printf ("replayed %d inputs\n", files);
    return files > 0 && failures == 0 ? 0 : 1;
}
