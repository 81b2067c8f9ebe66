// updpack: builds, lists, extracts and verifies update packages
// (UpdateData.dat), checks an update (updpack_check.cpp), writes one from two
// builds of a game (updpack_diff.cpp) and tries one on a copy of a game
// (updpack_try.cpp).
//
//   updpack create [--short-names] PACKAGE FILE...
//   updpack list PACKAGE
//   updpack extract PACKAGE [-C DIR] [NAME...]
//   updpack verify PACKAGE
//   updpack check [--strict] [FOLDER]
//   updpack diff OLD NEW --out FOLDER [OPTION...]
//   updpack try FOLDER --game OLD [OPTION...]
#include "updpack.h"

#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <unordered_map>
#include <vector>

#include "common/sjis_text.h"
#include "package/package_digests.h"
#include "package/package_directory.h"
#include "package/package_writer.h"
#include "platform/platform_files.h"
#include "platform/platform_process.h"
#include "platform/platform_replacement.h"
#include "platform/platform_trial.h"
#include "updpack_diff.h"
#include "updpack_try.h"

namespace {

constexpr size_t kToolPathSize = 1024;

constexpr char kSynopsis[] =
    "Usage: updpack create [--short-names] PACKAGE FILE...\n"
    "       updpack list PACKAGE\n"
    "       updpack extract PACKAGE [-C DIR] [NAME...]\n"
    "       updpack verify PACKAGE\n"
    "       updpack check [--strict] [FOLDER]\n"
    "       updpack diff OLD NEW --out FOLDER [--template FILE] [--title TEXT]\n"
    "                    [--registry KEY] [--new-version N[,M]] [--support-version N[,M]]\n"
    "                    [--save-version N[,M]] [--ac-old OLD --ac-new NEW]\n"
    "       updpack try FOLDER --game OLD [--edition standard|add-contents]\n"
    "                   [--installed VERSION] [--expect NEW]\n"
    "       updpack --help | --version\n";

constexpr char kUsage[] =
    "\n"
    "Builds, lists, extracts and verifies the update packages (UpdateData.dat)\n"
    "that the updater reads its files from, checks an update before it ships,\n"
    "writes one from two builds of a game and tries one on a copy of a game.\n"
    "\n"
    "  create    stores each FILE under its base name, in the long-name layout\n"
    "            (names of up to 31 bytes in Shift_JIS), or with --short-names\n"
    "            in the short-name layout (up to 15 bytes), and adds the member\n"
    "            @SHA256SUMS: the SHA-256 of the directory and of every FILE,\n"
    "            which the updater checks before it installs anything. Names\n"
    "            that do not fit, that equal another without regard to letter\n"
    "            case, or that are @SHA256SUMS are refused and no package is\n"
    "            written. The package is written to a new file and put in\n"
    "            place only when complete: a failed create leaves an existing\n"
    "            PACKAGE and every FILE as they were, and a FILE that is\n"
    "            PACKAGE itself is refused. On Windows a FILE's '*' and '?' are\n"
    "            expanded, as cmd.exe leaves them.\n"
    "  list      prints the layout, then one line per directory entry in\n"
    "            order: name, offset in the data area, size in bytes, and the\n"
    "            SHA-256 the package lists for it (- for none).\n"
    "  extract   writes every member but @SHA256SUMS, or the NAMEs given, into\n"
    "            DIR (which must exist; default: the current folder). Before\n"
    "            anything is written, names that would leave DIR, a member\n"
    "            that would be written over PACKAGE, and two members that\n"
    "            would become one file on disk are refused.\n"
    "  verify    reads every member and compares it with its SHA-256, naming\n"
    "            each damaged one; a package without @SHA256SUMS cannot be\n"
    "            verified and fails.\n"
    "  check     loads FOLDER's Update.ini (default: the current folder), loose\n"
    "            or from its UpdateData.dat, exactly as the updater does and\n"
    "            prints the plan as JSON; verifies the package as verify does\n"
    "            (warning of a package without digests) and checks that it\n"
    "            holds every CopyFile source of both editions. Warnings and\n"
    "            errors go to standard error, naming the line of Update.ini.\n"
    "            With --strict every warning fails the check too.\n"
    "  diff      writes into FOLDER the update that turns the build OLD into\n"
    "            NEW: Update.ini and UpdateData.dat, with CreateFolder, CopyFile,\n"
    "            RenameFile, DeleteFile and BINARY lines. Settings come from the\n"
    "            options, after those of a template script whose other lines\n"
    "            are kept. --ac-old and --ac-new give the add-contents edition's\n"
    "            builds. The update is checked, then tried as try does; diff\n"
    "            fails unless it turns OLD into NEW exactly.\n"
    "  try       applies the update in FOLDER to a temporary copy of OLD with\n"
    "            the updater's own code (a registry and a Start menu of its own)\n"
    "            and tells each step, every failure with its cause and, with\n"
    "            --expect, every path where the result differs from NEW. The\n"
    "            installed version is by default the edition's SupportVersion.\n"
    "\n"
    "Options are the ones shown; any other argument beginning with '-' is\n"
    "refused (write a file named so as ./-name).\n"
    "\n";

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
    // cmd.exe hands a wildcard over as it is written.
    std::vector<std::string> files;
    for (int i = next; i < argc; ++i) {
        std::vector<std::string> matched;
        if (!OsExpandFileArgument(argv[i], &matched)) {
            Complain((std::string(argv[i]) + ": no file matches").c_str());
            return kUpdpackFailed;
        }
        files.insert(files.end(), matched.begin(), matched.end());
    }
    std::vector<PackageSource> sources;
    for (const std::string& file : files) sources.push_back({ArgumentBaseNameOf(file.c_str()), file.c_str()});

    char message[kPackageMessageSize];
    const int result =
        WritePackage(packagePath, layout, sources.data(), static_cast<uint32_t>(sources.size()), message,
                     sizeof message);
    if (result == kPackageWritten) return kUpdpackDone;
    Complain(message);
    if (result == kPackageFailed) std::fputs("updpack: nothing was changed\n", stderr);
    return kUpdpackFailed;
}

// List --------------------------------------------------------------------

// Reads the digests of the package at path for list and verify. Returns a
// PackageDigestsResult; damage and a package that cannot be read are told.
int ReadDigestsTelling(const char* path, PackageDigests* digests) {
    char message[kPackageMessageSize];
    const int result = ReadPackageDigests(path, digests, message, sizeof message);
    if (result == kPackageDamaged || result == kPackageNotOpened) Complain(message);
    return result;
}

// Lists a package whose directory is sound even when its digest list is
// damaged, which it then tells, failing.
int List(int argc, char** argv) {
    if (argc != 1) return UsageError("list needs exactly one package");
    PackageDirectory directory;
    char message[kPackageMessageSize];
    if (!ReadPackageDirectory(argv[0], &directory, message, sizeof message)) {
        Complain(message);
        return kUpdpackFailed;
    }
    PackageDigests digests;
    const int result = ReadDigestsTelling(argv[0], &digests);
    std::printf("layout: %s, %u member%s\n", directory.layout == kLongNameLayout ? "long-names" : "short-names",
                directory.count, directory.count == 1 ? "" : "s");
    for (uint32_t i = 0; i < directory.count; ++i) {
        const PackageEntry& entry = directory.entries[i];
        const bool listed = digests.listed != nullptr && i != digests.listEntry;
        PutText(stdout, entry.name);
        std::printf("\t%u\t%u\t%s\n", entry.offset, entry.size, listed ? DigestText(digests.listed[i]).c_str() : "-");
    }
    ReleasePackageDigests(&digests);
    ReleasePackageDirectory(&directory);
    const bool sound = result == kDigestsListed || result == kDigestsAbsent;
    return std::fflush(stdout) == 0 && sound ? kUpdpackDone : kUpdpackFailed;
}

// Verify ------------------------------------------------------------------

int Verify(int argc, char** argv) {
    if (argc != 1) return UsageError("verify needs exactly one package");
    const char* packagePath = argv[0];
    PackageDigests digests;
    const int result = ReadDigestsTelling(packagePath, &digests);
    char message[kPackageMessageSize];
    if (result == kDigestsAbsent) {
        FormatText(message, sizeof message, "%s: the package has no digest list (%s): made by another tool, its "
                   "members cannot be verified", packagePath, kDigestListName);
        Complain(message);
    }
    if (result != kDigestsListed) {
        ReleasePackageDigests(&digests);
        return kUpdpackFailed;
    }
    std::vector<uint32_t> damaged;
    int status = kUpdpackDone;
    if (!FindDamagedMembers(packagePath, digests, &damaged)) {
        FormatText(message, sizeof message, "%s: cannot read the members", packagePath);
        Complain(message);
        status = kUpdpackFailed;
    }
    for (uint32_t index : damaged) {
        FormatText(message, sizeof message, "%s: %s", packagePath, DamagedMemberText(digests, index).c_str());
        Complain(message);
        status = kUpdpackFailed;
    }
    if (status == kUpdpackDone) std::printf("%u members match their SHA-256\n", digests.directory.count - 1);
    ReleasePackageDigests(&digests);
    return std::fflush(stdout) == 0 ? status : kUpdpackFailed;
}

// Extract -----------------------------------------------------------------

// Copies one member out of the open package into outputPath: written whole
// to a new file beside it and put in place only when complete. Returns 1, or
// 0 with message set and outputPath as it was.
int ExtractEntry(PlatformFile* package, const PackageEntry& entry, const char* outputPath, char* message,
                 size_t capacity) {
    PlatformReplacement* output = OsBeginReplacement(outputPath);
    if (output == nullptr) {
        FormatText(message, capacity, "%s: cannot create the file", outputPath);
        return 0;
    }
    if (!OsCopyFileRange(package, entry.dataStart, entry.size, OsReplacementFile(output), nullptr)) {
        OsAbandonReplacement(output);
        FormatText(message, capacity, "%s: cannot copy member \"%s\" into it", outputPath, entry.name);
        return 0;
    }
    if (!OsCommitReplacement(output)) {
        FormatText(message, capacity, "%s: cannot put member \"%s\" in place", outputPath, entry.name);
        return 0;
    }
    return 1;
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
    std::vector<uint32_t> firstOf(directory.count);
    if (!FindFirstOfEachName(&directory, firstOf.data())) {
        FormatText(message, capacity, "not enough memory for a directory of %u entries", directory.count);
        return 0;
    }
    for (uint32_t i = 0; i < directory.count; ++i) {
        // The digest list is the package's own, no file of the update.
        if (firstOf[i] == i && EqualsNoCase(directory.entries[i].name, kDigestListName)) continue;
        if (firstOf[i] == i) {
            selected->push_back(i);
            continue;
        }
        FormatText(message, capacity,
                   "skipping entry %u \"%s\": its name equals entry %u's, which the updater reads instead", i,
                   directory.entries[i].name, firstOf[i]);
        Complain(message);
    }
    return 1;
}

// The path entry is written to: its name inside folder, or in the current
// folder when folder is nullptr. Returns 0 when it does not fit.
int OutputPathOf(const char* folder, const PackageEntry& entry, char (&outputPath)[kToolPathSize]) {
    return folder == nullptr ? CopyText(outputPath, entry.name)
                             : JoinPath(outputPath, sizeof outputPath, folder, entry.name);
}

// Checks every selected entry before the first file is written: its name is
// a safe file name, its path fits, the path is not the package being read
// (by file identity), and no two members become one file on disk (as
// \x81\xCA.txt and \xFA\x54.txt, which both read "￢.txt", or names that differ
// only in letter case where the file system ignores it). Returns 1, or 0
// after complaining.
int CheckOutputs(PlatformFile* package, const char* folder, const PackageDirectory& directory,
                 const std::vector<uint32_t>& selected) {
    char message[kPackageMessageSize];
    std::unordered_map<std::string, uint32_t> fileNames;
    fileNames.reserve(selected.size());
    for (uint32_t index : selected) {
        const PackageEntry& entry = directory.entries[index];
        const char* problem = MemberNameProblem(entry.name);
        std::string fileName;
        if (problem == nullptr && !OsFileNameKey(entry.name, &fileName))
            problem = "the name has no file name form on this system";
        char outputPath[kToolPathSize];
        if (problem == nullptr && !OutputPathOf(folder, entry, outputPath)) problem = "its path is too long";
        if (problem == nullptr && OsIsSameFile(package, outputPath))
            problem = "it would be written over the package being read";
        if (problem != nullptr) {
            FormatText(message, sizeof message, "refusing member \"%s\" (entry %u): %s; nothing was extracted",
                       entry.name, index, problem);
            Complain(message);
            return 0;
        }
        const auto [earlier, added] = fileNames.try_emplace(std::move(fileName), index);
        if (!added && earlier->second != index) {
            FormatText(message, sizeof message,
                       "refusing members \"%s\" (entry %u) and \"%s\" (entry %u): both would be written to one "
                       "file; nothing was extracted",
                       directory.entries[earlier->second].name, earlier->second, entry.name, index);
            Complain(message);
            return 0;
        }
    }
    return 1;
}

int ExtractSelected(const char* packagePath, const char* folder, const PackageDirectory& directory,
                    const std::vector<uint32_t>& selected) {
    PlatformFile* package = OsOpenForReading(packagePath);
    char message[kPackageMessageSize];
    if (package == nullptr) {
        FormatText(message, sizeof message, "%s: cannot open the file again", packagePath);
        Complain(message);
        return kUpdpackFailed;
    }
    int status = CheckOutputs(package, folder, directory, selected) ? kUpdpackDone : kUpdpackFailed;
    for (size_t i = 0; i < selected.size() && status == kUpdpackDone; ++i) {
        const PackageEntry& entry = directory.entries[selected[i]];
        char outputPath[kToolPathSize];
        OutputPathOf(folder, entry, outputPath);
        if (!ExtractEntry(package, entry, outputPath, message, sizeof message)) {
            Complain(message);
            status = kUpdpackFailed;
        }
    }
    OsCloseFile(package);
    return status;
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
        return kUpdpackFailed;
    }
    std::vector<uint32_t> selected;
    int status = kUpdpackFailed;
    if (SelectEntries(directory, names, &selected, message, sizeof message)) {
        status = ExtractSelected(packagePath, folder, directory, selected);
    } else {
        Complain(message);
    }
    ReleasePackageDirectory(&directory);
    return status;
}

}  // namespace

int UsageError(const char* message) {
    Complain(message);
    std::fputs(kSynopsis, stderr);
    std::fputs("Try 'updpack --help'.\n", stderr);
    return kUpdpackUsage;
}

int RunUpdpack(int argc, char** argv) {
    if (argc < 2) return UsageError("no command given");
    const char* command = argv[1];
    if (std::strcmp(command, "--help") == 0 || std::strcmp(command, "-h") == 0) {
        std::fputs(kSynopsis, stdout);
        std::fputs(kUsage, stdout);
        std::fputs(ExitStatusLines("Exit status:", kUpdpackExitStatuses).c_str(), stdout);
        return kUpdpackDone;
    }
    if (std::strcmp(command, "--version") == 0) {
        std::printf("updpack %s\n", UPDATER_VERSION);
        return kUpdpackDone;
    }
    char message[kPackageMessageSize];
    if (!IsCommand(command)) {
        FormatText(message, sizeof message, command[0] == '-' ? "unknown option \"%s\"" : "unknown command \"%s\"",
                   command);
        return UsageError(message);
    }
    if (const char* option = UnknownOption(command, argc - 2, argv + 2)) {
        FormatText(message, sizeof message, "unknown option \"%s\"", option);
        return UsageError(message);
    }
    if (std::strcmp(command, "create") == 0) return Create(argc - 2, argv + 2);
    if (std::strcmp(command, "list") == 0) return List(argc - 2, argv + 2);
    if (std::strcmp(command, "extract") == 0) return Extract(argc - 2, argv + 2);
    if (std::strcmp(command, "verify") == 0) return Verify(argc - 2, argv + 2);
    if (std::strcmp(command, "diff") == 0) return RunDiff(argc - 2, argv + 2);
    if (std::strcmp(command, "try") == 0) return RunTry(argc - 2, argv + 2);
    const int strict = argc > 2 && std::strcmp(argv[2], "--strict") == 0;
    const int first = strict ? 3 : 2;
    if (argc > first + 1) return UsageError("check takes at most one folder");
    return CheckUpdate(argc == first + 1 ? argv[first] : nullptr, strict);
}
