// updpack: builds, lists and extracts update packages (UpdateData.dat).
//
//   updpack create [--short-names] PACKAGE FILE...
//   updpack list PACKAGE
//   updpack extract PACKAGE [-C DIR] [NAME...]
#include "updpack.h"

#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

#include "common/sjis_text.h"
#include "package/package_directory.h"
#include "package/package_writer.h"
#include "platform/platform.h"

namespace {

constexpr int kExitDone = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

constexpr size_t kToolPathSize = 1024;

constexpr char kUsage[] =
    "Usage: updpack create [--short-names] PACKAGE FILE...\n"
    "       updpack list PACKAGE\n"
    "       updpack extract PACKAGE [-C DIR] [NAME...]\n"
    "       updpack --help | --version\n"
    "\n"
    "Builds, lists and extracts the update packages (UpdateData.dat) that the\n"
    "updater reads its files from.\n"
    "\n"
    "  create    stores each FILE under its base name, in the long-name layout\n"
    "            (names of up to 31 bytes in Shift_JIS), or with --short-names\n"
    "            in the short-name layout (up to 15 bytes). Names that do not\n"
    "            fit, or that equal another without regard to letter case, are\n"
    "            refused and no package is written.\n"
    "  list      prints the layout, then one line per directory entry in\n"
    "            order: name, offset in the data area, size in bytes.\n"
    "  extract   writes every member, or the NAMEs given, into DIR (which must\n"
    "            exist; default: the current folder). Names that would leave\n"
    "            DIR are refused.\n"
    "\n"
    "Exit status: 0 done, 1 failed, 2 wrong usage.\n";

// Writes a Shift_JIS text to stream as UTF-8. Bytes that are no valid
// Shift_JIS are written as \xNN, so a damaged name still shows.
void PutText(std::FILE* stream, const char* text) {
    std::string utf8;
    if (ToolTextToUtf8(text, &utf8)) {
        std::fputs(utf8.c_str(), stream);
        return;
    }
    for (const char* c = text; *c != '\0'; ++c) {
        const unsigned char byte = static_cast<unsigned char>(*c);
        if (byte >= 0x20 && byte < 0x7F) {
            std::fputc(byte, stream);
        } else {
            std::fprintf(stream, "\\x%02X", byte);
        }
    }
}

// "updpack: " and a Shift_JIS message on standard error.
void Complain(const char* message) {
    std::fputs("updpack: ", stderr);
    PutText(stderr, message);
    std::fputc('\n', stderr);
}

int UsageError(const char* message) {
    Complain(message);
    std::fputs("Try 'updpack --help'.\n", stderr);
    return kExitUsage;
}

// The file name at the end of a path given on the command line, after its
// last '/' or '\' (a 0x5C inside a double-byte character is no separator)
// or a drive such as "C:".
const char* FileBaseName(const char* path) {
    const char* base = path;
    if (((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z')) && path[1] == ':')
        base = path + 2;
    for (size_t i = 0; path[i] != '\0'; ++i) {
        const unsigned char byte = static_cast<unsigned char>(path[i]);
        if (SjisCharacterWidth(path + i) == 2) {
            ++i;
        } else if (byte == '/' || byte == '\\') {
            base = path + i + 1;
        }
    }
    return base;
}

// Create ------------------------------------------------------------------

int Create(int argc, char** argv) {
    PackageLayout layout = kLongNameLayout;
    int next = 0;
    if (next < argc && std::strcmp(argv[next], "--short-names") == 0) {
        layout = kShortNameLayout;
        ++next;
    }
    if (argc - next < 2) return UsageError("create needs a package and at least one file");
    const char* packagePath = argv[next++];
    std::vector<PackageSource> sources;
    for (int i = next; i < argc; ++i) sources.push_back({FileBaseName(argv[i]), argv[i]});

    char message[kPackageMessageSize];
    const int result =
        WritePackage(packagePath, layout, sources.data(), static_cast<uint32_t>(sources.size()), message,
                     sizeof message);
    if (result == kPackageWritten) return kExitDone;
    Complain(message);
    if (result == kPackageIncomplete) {
        RemoveToolFile(packagePath);
        std::fputs("updpack: the incomplete package was removed\n", stderr);
    }
    return kExitFailed;
}

// List --------------------------------------------------------------------

int List(int argc, char** argv) {
    if (argc != 1) return UsageError("list needs exactly one package");
    PackageDirectory directory;
    char message[kPackageMessageSize];
    if (!ReadPackageDirectory(argv[0], &directory, message, sizeof message)) {
        Complain(message);
        return kExitFailed;
    }
    std::printf("layout: %s, %u member%s\n", directory.layout == kLongNameLayout ? "long-names" : "short-names",
                directory.count, directory.count == 1 ? "" : "s");
    for (uint32_t i = 0; i < directory.count; ++i) {
        const PackageEntry& entry = directory.entries[i];
        PutText(stdout, entry.name);
        std::printf("\t%u\t%u\n", entry.offset, entry.size);
    }
    ReleasePackageDirectory(&directory);
    return std::fflush(stdout) == 0 ? kExitDone : kExitFailed;
}

// Extract -----------------------------------------------------------------

// Copies one member out of the package into a new file at outputPath.
// Returns 1, or 0 with message set (and the output removed).
int ExtractEntry(const char* packagePath, const PackageEntry& entry, const char* outputPath, char* message,
                 size_t capacity) {
    PlatformFile* package = OsOpenForReading(packagePath);
    if (package == nullptr) {
        FormatText(message, capacity, "%s: cannot open the file again", packagePath);
        return 0;
    }
    PlatformFile* output = OsCreateForWriting(outputPath);
    if (output == nullptr) {
        OsCloseFile(package);
        FormatText(message, capacity, "%s: cannot create the file", outputPath);
        return 0;
    }
    const int copied = OsCopyFileRange(package, entry.dataStart, entry.size, output);
    if (!copied) FormatText(message, capacity, "%s: cannot copy member \"%s\" into it", outputPath, entry.name);
    OsCloseFile(output);
    OsCloseFile(package);
    if (!copied) RemoveToolFile(outputPath);
    return copied;
}

// Picks the entries to extract: those named, or every entry the updater can
// reach (the first of names equal without regard to case). Returns 1, or 0
// with message set when a name is not in the package.
int SelectEntries(const PackageDirectory& directory, const std::vector<const char*>& names,
                  std::vector<uint32_t>* selected, char* message, size_t capacity) {
    for (const char* name : names) {
        const int64_t index = FindPackageEntry(&directory, name);
        if (index < 0) {
            FormatText(message, capacity, "no member named \"%s\" in the package", name);
            return 0;
        }
        selected->push_back(static_cast<uint32_t>(index));
    }
    if (!names.empty()) return 1;
    for (uint32_t i = 0; i < directory.count; ++i) {
        const int64_t first = FindPackageEntry(&directory, directory.entries[i].name);
        if (first == i) {
            selected->push_back(i);
            continue;
        }
        FormatText(message, capacity,
                   "skipping entry %u \"%s\": its name equals entry %u's, which the updater reads instead", i,
                   directory.entries[i].name, static_cast<uint32_t>(first));
        Complain(message);
    }
    return 1;
}

int ExtractSelected(const char* packagePath, const char* folder, const PackageDirectory& directory,
                    const std::vector<uint32_t>& selected) {
    char message[kPackageMessageSize];
    // Every name is checked before the first file is written.
    for (uint32_t index : selected) {
        const char* problem = MemberNameProblem(directory.entries[index].name);
        if (problem != nullptr) {
            FormatText(message, sizeof message, "refusing member \"%s\" (entry %u): %s; nothing was extracted",
                       directory.entries[index].name, index, problem);
            Complain(message);
            return kExitFailed;
        }
    }
    for (uint32_t index : selected) {
        const PackageEntry& entry = directory.entries[index];
        char outputPath[kToolPathSize];
        const int fits = folder == nullptr ? CopyText(outputPath, entry.name)
                                           : JoinPath(outputPath, sizeof outputPath, folder, entry.name);
        if (!fits) {
            FormatText(message, sizeof message, "the path for member \"%s\" is too long", entry.name);
            Complain(message);
            return kExitFailed;
        }
        if (!ExtractEntry(packagePath, entry, outputPath, message, sizeof message)) {
            Complain(message);
            return kExitFailed;
        }
    }
    return kExitDone;
}

int Extract(int argc, char** argv) {
    if (argc < 1) return UsageError("extract needs a package");
    const char* packagePath = argv[0];
    const char* folder = nullptr;
    std::vector<const char*> names;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "-C") == 0) {
            if (i + 1 >= argc) return UsageError("-C needs a folder");
            folder = argv[++i];
        } else {
            names.push_back(argv[i]);
        }
    }

    PackageDirectory directory;
    char message[kPackageMessageSize];
    if (!ReadPackageDirectory(packagePath, &directory, message, sizeof message)) {
        Complain(message);
        return kExitFailed;
    }
    std::vector<uint32_t> selected;
    int status = kExitFailed;
    if (SelectEntries(directory, names, &selected, message, sizeof message)) {
        status = ExtractSelected(packagePath, folder, directory, selected);
    } else {
        Complain(message);
    }
    ReleasePackageDirectory(&directory);
    return status;
}

}  // namespace

int RunUpdpack(int argc, char** argv) {
    if (argc < 2) return UsageError("no command given");
    const char* command = argv[1];
    if (std::strcmp(command, "--help") == 0 || std::strcmp(command, "-h") == 0) {
        std::fputs(kUsage, stdout);
        return kExitDone;
    }
    if (std::strcmp(command, "--version") == 0) {
        std::printf("updpack %s\n", UPDATER_VERSION);
        return kExitDone;
    }
    if (std::strcmp(command, "create") == 0) return Create(argc - 2, argv + 2);
    if (std::strcmp(command, "list") == 0) return List(argc - 2, argv + 2);
    if (std::strcmp(command, "extract") == 0) return Extract(argc - 2, argv + 2);
    char message[kPackageMessageSize];
    FormatText(message, sizeof message, "unknown command \"%s\"", command);
    return UsageError(message);
}
