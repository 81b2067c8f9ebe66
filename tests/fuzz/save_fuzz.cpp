// The save converter: a rule set and a save image, both from the input.
//
// The input is rule statements, one a line, each read as if it followed
// ConvertSave, then a zero byte, then the save image. What must hold,
// besides memory safety: an image left unconverted (result 0) is exactly as
// it was, and a converted image still has the save format, so that the next
// conversion reads it.
#include <cstdint>
#include <cstring>
#include <string>

#include "convert/save_conversion.h"
#include "fuzz_support.h"
#include "script/script_loader.h"

namespace {

// The rule lines of text, each behind ConvertSave.
std::string RuleScript(const char* text, size_t size) {
    std::string script = "ConvertSave ";
    for (size_t i = 0; i < size; ++i) {
        script += text[i];
        if (text[i] == '\n') script += "ConvertSave ";
    }
    return script;
}

SaveImage ImageOf(const uint8_t* bytes, size_t size) {
    SaveImage image{std::unique_ptr<unsigned char[]>(new unsigned char[size + 1]), static_cast<uint32_t>(size)};
    if (size != 0) std::memcpy(image.bytes.get(), bytes, size);
    return image;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    if (size > (1u << 20)) return 0;
    const uint8_t* zero = static_cast<const uint8_t*>(std::memchr(bytes, 0, size));
    const size_t rulesSize = zero != nullptr ? static_cast<size_t>(zero - bytes) : size;
    const std::string script = RuleScript(reinterpret_cast<const char*>(bytes), rulesSize);
    if (LoadUpdateScriptText(script.data(), static_cast<uint32_t>(script.size()), nullptr) != kScriptLoaded) return 0;

    const uint8_t* save = zero != nullptr ? zero + 1 : bytes + size;
    const size_t saveSize = static_cast<size_t>(bytes + size - save);
    SaveImage image = ImageOf(save, saveSize);
    const int changed = ConvertSaveFile(&image);
    if (!changed) {
        FUZZ_ASSERT(image.length == saveSize && std::memcmp(image.bytes.get(), save, saveSize) == 0);
        return 0;
    }
    // The converted image is a save again: a rule that acts on every save
    // (BGMNO over the whole range of message words) finds it.
    constexpr char kEveryMessage[] = "ConvertSave BGMNO = 0, -1, 5\n";
    FUZZ_ASSERT(LoadUpdateScriptText(kEveryMessage, sizeof kEveryMessage - 1, nullptr) == kScriptLoaded);
    SaveImage copy = ImageOf(image.bytes.get(), image.length);
    FUZZ_ASSERT(ConvertSaveFile(&copy) == 1);
    return 0;
}
