#include "test_support.h"

#include <filesystem>
#include <fstream>
#include <random>

#include "package/package_format.h"
#include "package/package_writer.h"
#include "common/sjis_text.h"
#include "platform/platform_files.h"
#include "script/update_plan.h"

namespace fs = std::filesystem;

void TempFolderTest::SetUp() {
    previous_ = fs::current_path().string();
    // Test programs run in parallel, and random_device may repeat itself on
    // some C runtimes: only a folder this call itself created is used.
    std::random_device random;
    std::mt19937_64 names(random());
    fs::path folder;
    std::error_code error;
    bool created = false;
    while (!created && !error) {
        folder = fs::temp_directory_path() / ("updater-test-" + std::to_string(names()));
        created = fs::create_directory(folder, error);
    }
    ASSERT_TRUE(created) << folder.string() << ": " << error.message();
    fs::current_path(folder);
    folder_ = folder.string();
}

void TempFolderTest::TearDown() {
    fs::current_path(previous_);
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
}

bool WriteTestFile(const char* path, const std::string& bytes) {
    std::ofstream file(NativeTestPath(path), std::ios::binary | std::ios::trunc);
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    file.close();
    return !file.fail();
}

bool ReadTestFile(const char* path, std::string* bytes) {
    PlatformFile* file = OsOpenForReading(path);
    if (file == nullptr) return false;
    uint64_t length = 0;
    uint32_t delivered = 0;
    bool ok = OsFileLength(file, &length) == 1;
    if (ok) {
        bytes->assign(static_cast<size_t>(length), '\0');
        ok = OsReadFile(file, bytes->data(), static_cast<uint32_t>(length), &delivered) == 1 &&
             delivered == length;
    }
    OsCloseFile(file);
    return ok;
}

bool MakeTestFolder(const char* path) {
    const fs::path native = NativeTestPath(path);
    if (native.empty()) return false;
    std::error_code error;
    return fs::create_directories(native, error) || fs::is_directory(native, error);
}

std::string RawPackage(char marker, const std::vector<RawEntry>& entries, const std::string& data,
                       std::optional<uint32_t> count) {
    const uint32_t width = marker == '2' ? 32 : 16;
    std::string bytes(16, '\0');
    bytes[11] = marker;
    WriteLittleEndian32(reinterpret_cast<unsigned char*>(&bytes[12]),
                        count.value_or(static_cast<uint32_t>(entries.size())));
    for (const RawEntry& entry : entries) {
        std::string field = entry.name;
        field.resize(width, '\0');
        bytes += field;
    }
    for (const RawEntry& entry : entries) {
        unsigned char pair[8];
        WriteLittleEndian32(pair, entry.offset);
        WriteLittleEndian32(pair + 4, entry.size);
        bytes.append(reinterpret_cast<const char*>(pair), sizeof pair);
    }
    return bytes + data;
}

std::string DigestedPackage(const std::vector<std::pair<std::string, std::string>>& members) {
    // The sources lie in a folder of their own, which no test names.
    const std::string folder = "digested-package-sources";
    std::vector<std::string> paths;
    std::vector<PackageSource> sources;
    if (!MakeTestFolder(folder.c_str())) return "";
    for (const auto& [name, content] : members) {
        paths.push_back(folder + "\\" + name);
        if (!WriteTestFile(paths.back().c_str(), content)) return "";
    }
    for (size_t i = 0; i < members.size(); ++i) sources.push_back({members[i].first.c_str(), paths[i].c_str()});
    const std::string package = folder + "\\package.dat";
    char message[512];
    std::string bytes;
    const uint32_t count = static_cast<uint32_t>(sources.size());
    const bool written =
        WritePackage(package.c_str(), kLongNameLayout, sources.data(), count, message, sizeof message) ==
            kPackageWritten &&
        ReadTestFile(package.c_str(), &bytes);
    std::error_code ignored;
    fs::remove_all(NativeTestPath(folder.c_str()), ignored);
    return written ? bytes : "";
}

#if defined(__SANITIZE_ADDRESS__)
namespace {
size_t g_largestAllocation = 0;
}  // namespace

// AddressSanitizer calls this on every allocation.
extern "C" void __sanitizer_malloc_hook(const volatile void*, size_t size) {
    if (size > g_largestAllocation) g_largestAllocation = size;
}

size_t TakeLargestAllocation() {
    const size_t largest = g_largestAllocation;
    g_largestAllocation = 0;
    return largest;
}
#else
size_t TakeLargestAllocation() {
    return 0;
}
#endif

bool AddCopyEntry(const char* standardSource, const char* addContentsSource, const char* destination) {
    CopyEntry entry{};
    return CopyText(entry.standardSource, standardSource) && CopyText(entry.addContentsSource, addContentsSource) &&
           CopyText(entry.destination, destination) && AddRecord(g_copyTable, entry);
}

bool AddDeleteEntry(const char* fileName) {
    DeleteEntry entry{};
    return CopyText(entry.fileName, fileName) && AddRecord(g_deleteTable, entry);
}

bool AddRenameEntry(const char* oldName, const char* newName) {
    RenameEntry entry{};
    return CopyText(entry.oldName, oldName) && CopyText(entry.newName, newName) && AddRecord(g_renameTable, entry);
}

bool AddCreateFolderEntry(const char* folderName) {
    CreateFolderEntry entry{};
    return CopyText(entry.folderName, folderName) && AddRecord(g_createFolderTable, entry);
}

bool AddShortcutEntry(const char* linkName, const char* target, const char* arguments, const char* description,
                      const char* iconFile, const char* subfolder) {
    ShortcutEntry entry{};
    return CopyText(entry.linkName, linkName) && CopyText(entry.target, target) &&
           CopyText(entry.arguments, arguments) && CopyText(entry.description, description) &&
           CopyText(entry.iconFile, iconFile) && CopyText(entry.subfolder, subfolder) &&
           AddRecord(g_shortcutTable, entry);
}
