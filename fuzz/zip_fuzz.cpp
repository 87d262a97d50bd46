// Arbitrary bytes opened as a zip archive and unpacked, without and with a password, into a folder
// two levels down a fresh sandbox. Links to a folder outside are placed in the target first. Nothing
// may appear in the sandbox outside the target, and what the links point at must stay as it was.
//
// The sandbox is walked and removed with std::filesystem: entry names need not be valid UTF-8, and
// such files are beyond what QDir can list or remove.
#include "foundation/ZipArchive.h"

#include <QFile>
#include <QString>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <system_error>

#include <unistd.h>

namespace fs = std::filesystem;

namespace {

[[noreturn]] void fail(const char* what, const std::string& detail = std::string())
{
    std::fprintf(stderr, "zip: %s %s\n", what, detail.c_str());
    std::abort();
}

// Every path below folder, relative to it; links are listed, not followed.
std::set<std::string> listing(const fs::path& folder)
{
    std::set<std::string> paths;
    std::error_code error;
    for (fs::recursive_directory_iterator it(folder, error), end; !error && it != end; it.increment(error))
        paths.insert(it->path().lexically_relative(folder).string());
    if (error)
        fail("cannot list", folder.string());
    return paths;
}

void writeFile(const fs::path& path, const char* data, size_t size)
{
    std::ofstream file(path, std::ios::binary);
    file.write(data, static_cast<std::streamsize>(size));
    if (!file)
        fail("cannot write", path.string());
}

QString qtPath(const fs::path& path)
{
    return QFile::decodeName(path.c_str());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string pattern = (fs::temp_directory_path() / "zip_fuzz-XXXXXX").string();
    if (!::mkdtemp(pattern.data()))
        fail("no temporary folder");
    const fs::path sandbox(pattern);
    const fs::path archive = sandbox / "in.zip";
    const fs::path outside = sandbox / "outside";
    const fs::path target = sandbox / "nest" / "target";

    writeFile(archive, reinterpret_cast<const char*>(data), size);
    fs::create_directories(outside);
    fs::create_directories(target);
    writeFile(outside / "secret.txt", "untouched", 9);
    fs::create_symlink(outside / "secret.txt", target / "link.txt");
    fs::create_directory_symlink(outside, target / "linkdir");
    const std::set<std::string> before = listing(sandbox);

    for (const QString& password : {QString(), QStringLiteral("pw")}) {
        ZipArchive zip;
        zip.UnzipOpenFile(qtPath(archive), password);
        (void)zip.UnzipFileTo(qtPath(target), false);
        zip.UnzipCloseFile();
    }

    const std::string inside = (fs::path("nest") / "target").string() + "/";
    for (const std::string& path : listing(sandbox)) {
        if (path.rfind(inside, 0) != 0 && before.count(path) == 0)
            fail("written outside the target:", path);
    }
    if (listing(outside) != std::set<std::string>{"secret.txt"})
        fail("the folder behind a link changed");
    std::ifstream secret(outside / "secret.txt", std::ios::binary);
    const std::string content((std::istreambuf_iterator<char>(secret)), std::istreambuf_iterator<char>());
    if (content != "untouched")
        fail("written through a link");

    std::error_code error;
    fs::remove_all(sandbox, error);
    if (error)
        fail("cannot remove the sandbox", sandbox.string());
    return 0;
}
