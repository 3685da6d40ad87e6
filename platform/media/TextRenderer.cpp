#include "platform/media/TextRenderer.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_GLYPH_H
#include FT_ADVANCES_H
#include FT_STROKER_H

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>
#include <mutex>
#include <unordered_map>

#include "platform/base/Lasting.h"
#include "platform/base/Log.h"

#if defined(__SANITIZE_ADDRESS__)
#define POTEMARU_LEAK_SCAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define POTEMARU_LEAK_SCAN 1
#endif
#endif
#if POTEMARU_LEAK_SCAN
#include <sanitizer/lsan_interface.h>
#endif

namespace {
#if POTEMARU_LEAK_SCAN
using LeakScanIgnored = __lsan::ScopedDisabler;
#else
struct LeakScanIgnored {};
#endif
}  // namespace

namespace plat {

struct Font::Face {
    FT_Face ft = nullptr;
    std::string file;
    float unitsPerEm = 1;
    float ascender = 0;   // font units, up from the baseline
    float descender = 0;  // font units, down from the baseline (positive)
    // A file named by path is held in memory, so rewriting the file cannot change a face in use.
    std::vector<uint8_t> bytes;

    Face() = default;
    Face(const Face&) = delete;
    Face& operator=(const Face&) = delete;
    // Runs under the library's lock: FreeType's faces share one library object.
    ~Face() {
        if (ft) FT_Done_Face(ft);
    }
};

namespace {

constexpr float kMaxFontSize = 2048;
// The largest font file read by path; installed CJK fonts run to tens of megabytes.
constexpr uintmax_t kMaxFontFileBytes = 64u << 20;

// Names that programs written for other systems ask for, and the installed fonts drawn with the same metrics.
const std::pair<const char*, const char*> kAliases[] = {
    {"arial", "liberationsans"},
    {"arialmt", "liberationsans"},
    {"helvetica", "liberationsans"},
    {"helveticaneue", "liberationsans"},
    {"arialboldmt", "liberationsansbold"},
    {"arialbold", "liberationsansbold"},
    {"helveticabold", "liberationsansbold"},
    {"helveticaneuebold", "liberationsansbold"},
    {"timesnewroman", "liberationserif"},
    {"timesnewromanpsmt", "liberationserif"},
    {"times", "liberationserif"},
    {"timesroman", "liberationserif"},
    {"couriernew", "liberationmono"},
    {"couriernewpsmt", "liberationmono"},
    {"courier", "liberationmono"},
};

std::string normalise(std::string_view name) {
    std::string out;
    for (char c : name) {
        if (c == ' ' || c == '-' || c == '_') continue;
        out += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return out;
}

struct Library {
    std::recursive_mutex mutex;
    FT_Library ft = nullptr;
    bool fontconfigReady = false;
    // Installed fonts, by "file#index", kept for the process's life.
    std::map<std::string, std::shared_ptr<Font::Face>> faces;
    // Files named by path, while a font uses them; the size and time tell a changed file.
    struct FileFace {
        std::weak_ptr<Font::Face> face;
        uintmax_t size = 0;
        std::filesystem::file_time_type time;
    };
    std::map<std::string, FileFace> files;
    bool indexed = false;
    struct Entry {
        std::string file;
        int index = 0;
        int score = 0;
    };
    std::unordered_map<std::string, Entry> names;
    std::unordered_map<char32_t, Font::Face*> standIns;
    Font::Face* systemFace = nullptr;
    bool systemLooked = false;
    std::shared_ptr<const TextMetrics> metricsOverride;

    Library() {
        if (FT_Init_FreeType(&ft) != 0) {
            ft = nullptr;
            logError("FreeType could not be initialised");
        }
        {
            // fontconfig's configuration parser keeps a few hundred bytes it never frees, once per process.
            // The leak scan's suppressions cannot name its frames (the library has no frame pointers, so the
            // stack stops at its first frame): what its start-up allocates is not counted, and nothing else.
            [[maybe_unused]] LeakScanIgnored ignored;
            fontconfigReady = FcInit() == FcTrue;
        }
        if (!fontconfigReady) logError("fontconfig could not be initialised");
    }

    // Checks and describes a face FreeType opened; null (and the face closed) when it is no usable font.
    static std::unique_ptr<Font::Face> describe(FT_Face face, const std::string& file) {
        if (!FT_IS_SCALABLE(face) || face->units_per_EM == 0) {
            FT_Done_Face(face);
            return nullptr;
        }
        FT_Select_Charmap(face, FT_ENCODING_UNICODE);
        auto entry = std::make_unique<Font::Face>();
        entry->ft = face;
        entry->file = file;
        entry->unitsPerEm = face->units_per_EM;
        entry->ascender = face->ascender;
        entry->descender = -float(face->descender);
        if (entry->ascender <= 0) entry->ascender = face->units_per_EM * 0.8f;
        return entry;
    }

    Font::Face* load(const std::string& file, int index) {
        const std::string key = file + "#" + std::to_string(index);
        auto found = faces.find(key);
        if (found != faces.end()) return found->second.get();
        if (!ft) return nullptr;
        FT_Face face = nullptr;
        if (FT_New_Face(ft, file.c_str(), index, &face) != 0) return nullptr;
        std::shared_ptr<Font::Face> entry = describe(face, file);
        if (!entry) return nullptr;
        return faces.emplace(key, std::move(entry)).first->second.get();
    }

    // Installed faces live as long as the library: a font refers to one without owning it.
    static std::shared_ptr<Font::Face> installed(Font::Face* face) {
        return face ? std::shared_ptr<Font::Face>(std::shared_ptr<Font::Face>(), face) : nullptr;
    }

    std::shared_ptr<Font::Face> loadFile(const std::string& file) {
        std::error_code error;
        const uintmax_t size = std::filesystem::file_size(file, error);
        if (error) return nullptr;
        const auto time = std::filesystem::last_write_time(file, error);
        if (error) return nullptr;
        auto found = files.find(file);
        if (found != files.end() && found->second.size == size && found->second.time == time)
            if (auto face = found->second.face.lock()) return face;
        if (!ft) return nullptr;
        if (size == 0 || size > kMaxFontFileBytes) {
            logError("Font file %s is empty or too large (%ju bytes)", file.c_str(), size);
            return nullptr;
        }
        std::vector<uint8_t> bytes(size);
        FILE* stream = std::fopen(file.c_str(), "rb");
        const bool read = stream && std::fread(bytes.data(), 1, bytes.size(), stream) == bytes.size();
        if (stream) std::fclose(stream);
        if (!read) {
            logError("Font file %s could not be read", file.c_str());
            return nullptr;
        }
        FT_Face face = nullptr;
        if (FT_New_Memory_Face(ft, bytes.data(), FT_Long(bytes.size()), 0, &face) != 0) {
            logError("Font file %s is not a font", file.c_str());
            return nullptr;
        }
        std::shared_ptr<Font::Face> entry = describe(face, file);
        if (!entry) {
            logError("Font file %s holds no scalable font", file.c_str());
            return nullptr;
        }
        entry->bytes = std::move(bytes);
        files[file] = FileFace{entry, size, time};
        return entry;
    }

    void addName(const std::string& name, const std::string& file, int index, int score) {
        if (name.empty()) return;
        auto [it, inserted] = names.try_emplace(name, Entry{file, index, score});
        if (!inserted && score < it->second.score) it->second = Entry{file, index, score};
    }

    // One pass over the installed fonts, keyed by every name a caller might use.
    void buildIndex() {
        indexed = true;
        if (!fontconfigReady) return;
        FcPattern* pattern = FcPatternCreate();
        FcObjectSet* objects = FcObjectSetBuild(FC_FAMILY, FC_FULLNAME, FC_POSTSCRIPT_NAME, FC_FILE, FC_INDEX,
                                                FC_WEIGHT, FC_SLANT, nullptr);
        FcFontSet* set = FcFontList(nullptr, pattern, objects);
        FcObjectSetDestroy(objects);
        FcPatternDestroy(pattern);
        if (!set) return;
        for (int i = 0; i < set->nfont; ++i) {
            FcPattern* font = set->fonts[i];
            FcChar8* file = nullptr;
            if (FcPatternGetString(font, FC_FILE, 0, &file) != FcResultMatch) continue;
            int index = 0, weight = FC_WEIGHT_REGULAR, slant = FC_SLANT_ROMAN;
            FcPatternGetInteger(font, FC_INDEX, 0, &index);
            FcPatternGetInteger(font, FC_WEIGHT, 0, &weight);
            FcPatternGetInteger(font, FC_SLANT, 0, &slant);
            const std::string path = reinterpret_cast<const char*>(file);
            // A family name means its regular, upright member.
            const int familyScore =
                std::abs(weight - FC_WEIGHT_REGULAR) + (slant != FC_SLANT_ROMAN ? 1000 : 0);
            FcChar8* value = nullptr;
            for (int n = 0; FcPatternGetString(font, FC_FAMILY, n, &value) == FcResultMatch; ++n)
                addName(normalise(reinterpret_cast<const char*>(value)), path, index, familyScore);
            for (int n = 0; FcPatternGetString(font, FC_FULLNAME, n, &value) == FcResultMatch; ++n)
                addName(normalise(reinterpret_cast<const char*>(value)), path, index, -1);
            if (FcPatternGetString(font, FC_POSTSCRIPT_NAME, 0, &value) == FcResultMatch)
                addName(normalise(reinterpret_cast<const char*>(value)), path, index, -1);
            addName(normalise(std::filesystem::path(path).stem().string()), path, index, -1);
        }
        FcFontSetDestroy(set);
    }

    Font::Face* byName(const std::string& name) {
        if (!indexed) buildIndex();
        std::string key = normalise(name);
        for (const auto& [from, to] : kAliases)
            if (key == from && !names.count(key)) key = to;
        auto found = names.find(key);
        return found == names.end() ? nullptr : load(found->second.file, found->second.index);
    }

    Font::Face* matchPattern(FcPattern* pattern, char32_t needed) {
        FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
        FcDefaultSubstitute(pattern);
        FcResult result;
        FcFontSet* sorted = FcFontSort(nullptr, pattern, FcFalse, nullptr, &result);
        Font::Face* face = nullptr;
        for (int i = 0; sorted && i < sorted->nfont && !face; ++i) {
            FcPattern* font = sorted->fonts[i];
            if (needed) {
                FcCharSet* chars = nullptr;
                if (FcPatternGetCharSet(font, FC_CHARSET, 0, &chars) != FcResultMatch ||
                    !FcCharSetHasChar(chars, needed))
                    continue;
            }
            FcChar8* file = nullptr;
            int index = 0;
            if (FcPatternGetString(font, FC_FILE, 0, &file) != FcResultMatch) continue;
            FcPatternGetInteger(font, FC_INDEX, 0, &index);
            face = load(reinterpret_cast<const char*>(file), index);
            if (face && needed && FT_Get_Char_Index(face->ft, needed) == 0) face = nullptr;
        }
        if (sorted) FcFontSetDestroy(sorted);
        return face;
    }

    Font::Face* system() {
        if (systemLooked) return systemFace;
        systemLooked = true;
        if (!fontconfigReady) return nullptr;
        FcPattern* pattern = FcNameParse(reinterpret_cast<const FcChar8*>("sans-serif"));
        systemFace = matchPattern(pattern, 0);
        FcPatternDestroy(pattern);
        if (!systemFace) logError("No usable font is installed");
        return systemFace;
    }

    // An installed font that has the character, preferring Japanese ones for the shared ideographs.
    Font::Face* standIn(char32_t c) {
        auto found = standIns.find(c);
        if (found != standIns.end()) return found->second;
        Font::Face* face = nullptr;
        if (fontconfigReady) {
            FcPattern* pattern = FcNameParse(reinterpret_cast<const FcChar8*>("sans-serif:lang=ja"));
            FcCharSet* chars = FcCharSetCreate();
            FcCharSetAddChar(chars, c);
            FcPatternAddCharSet(pattern, FC_CHARSET, chars);
            FcCharSetDestroy(chars);
            face = matchPattern(pattern, c);
            FcPatternDestroy(pattern);
        }
        if (standIns.size() > 65536) standIns.clear();
        standIns.emplace(c, face);
        return face;
    }
};

Library& library() {
    static Lasting<Library> instance;
    return *instance;
}

bool isSpace(char32_t c) {
    return c == U' ' || c == U'\t';
}

// Characters between which a line may break without spaces: kana, ideographs, full-width forms, Hangul.
bool breaksAnywhere(char32_t c) {
    return (c >= 0x2E80 && c <= 0x9FFF) || (c >= 0xAC00 && c <= 0xD7AF) || (c >= 0xF900 && c <= 0xFAFF) ||
           (c >= 0xFF00 && c <= 0xFFEF) || (c >= 0x20000 && c <= 0x3FFFF);
}

void setSize(FT_Face face, float size) {
    FT_Set_Char_Size(face, 0, FT_F26Dot6(std::lround(size * 64)), 72, 72);
}

struct Plane {
    int width = 0, height = 0;
    std::vector<uint8_t> values;
    void reset(int w, int h) {
        width = w;
        height = h;
        values.assign(size_t(w) * h, 0);
    }
    void blit(const FT_Bitmap& bitmap, int left, int top) {
        if (bitmap.pixel_mode != FT_PIXEL_MODE_GRAY) return;
        for (unsigned row = 0; row < bitmap.rows; ++row) {
            const int y = top + int(row);
            if (y < 0 || y >= height) continue;
            const uint8_t* source = bitmap.pitch >= 0
                                        ? bitmap.buffer + size_t(row) * bitmap.pitch
                                        : bitmap.buffer + size_t(bitmap.rows - 1 - row) * -bitmap.pitch;
            uint8_t* target = values.data() + size_t(y) * width;
            for (unsigned col = 0; col < bitmap.width; ++col) {
                const int x = left + int(col);
                if (x < 0 || x >= width) continue;
                target[x] = std::max(target[x], source[col]);
            }
        }
    }
};

// Renders one glyph's outline (or its stroked outline) with its origin at the fractional pen position.
void renderGlyph(FT_Face face, FT_UInt index, float penX, float baseline, FT_Stroker stroker, Plane& plane) {
    if (FT_Load_Glyph(face, index, FT_LOAD_NO_HINTING | FT_LOAD_NO_BITMAP) != 0) return;
    FT_Glyph glyph = nullptr;
    if (FT_Get_Glyph(face->glyph, &glyph) != 0) return;
    if (glyph->format != FT_GLYPH_FORMAT_OUTLINE || (stroker && FT_Glyph_Stroke(&glyph, stroker, 1) != 0)) {
        FT_Done_Glyph(glyph);
        return;
    }
    const float baseX = std::floor(penX), baseY = std::floor(baseline);
    FT_Vector origin{FT_Pos(std::lround((penX - baseX) * 64)), FT_Pos(-std::lround((baseline - baseY) * 64))};
    if (FT_Glyph_To_Bitmap(&glyph, FT_RENDER_MODE_NORMAL, &origin, 1) == 0) {
        auto* bitmapGlyph = reinterpret_cast<FT_BitmapGlyph>(glyph);
        plane.blit(bitmapGlyph->bitmap, int(baseX) + bitmapGlyph->left, int(baseY) - bitmapGlyph->top);
    }
    FT_Done_Glyph(glyph);
}

std::vector<float> gaussianKernel(float blur) {
    const float sigma = blur / 2;
    if (sigma < 0.1f) return {1.0f};
    const int radius = std::min(64, int(std::ceil(sigma * 3)));
    std::vector<float> kernel(size_t(radius) * 2 + 1);
    float sum = 0;
    for (int i = -radius; i <= radius; ++i)
        sum += kernel[size_t(i + radius)] = std::exp(-(i * i) / (2 * sigma * sigma));
    for (float& k : kernel) k /= sum;
    return kernel;
}

void blur(std::vector<float>& plane, int width, int height, const std::vector<float>& kernel) {
    if (kernel.size() == 1) return;
    const int radius = int(kernel.size() / 2);
    std::vector<float> scratch(plane.size());
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            float sum = 0;
            for (int k = -radius; k <= radius; ++k) {
                const int sx = x + k;
                if (sx >= 0 && sx < width) sum += plane[size_t(y) * width + sx] * kernel[size_t(k + radius)];
            }
            scratch[size_t(y) * width + x] = sum;
        }
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            float sum = 0;
            for (int k = -radius; k <= radius; ++k) {
                const int sy = y + k;
                if (sy >= 0 && sy < height)
                    sum += scratch[size_t(sy) * width + x] * kernel[size_t(k + radius)];
            }
            plane[size_t(y) * width + x] = sum;
        }
}

uint8_t toByte(float v) {
    return uint8_t(std::lround(std::clamp(v, 0.0f, 1.0f) * 255));
}

}  // namespace

// ---- Font ----

Font::Font(std::shared_ptr<Face> face, float size) : face_(std::move(face)), size_(size) {}

Font::~Font() {
    // The last font of a file closes its face, which FreeType allows under the library's lock only, and
    // the file's entry goes with it.
    Library& lib = library();
    std::lock_guard lock(lib.mutex);
    face_.reset();
    std::erase_if(lib.files, [](const auto& entry) { return entry.second.face.expired(); });
}

std::shared_ptr<Font> Font::named(const std::string& name, float pixelSize) {
    if (name.empty() || !(pixelSize > 0) || pixelSize > kMaxFontSize) return nullptr;
    Library& lib = library();
    std::lock_guard lock(lib.mutex);
    std::shared_ptr<Face> face;
    std::error_code error;
    if (name.find('/') != std::string::npos && std::filesystem::is_regular_file(name, error))
        face = lib.loadFile(name);
    if (!face) face = lib.installed(lib.byName(std::filesystem::path(name).stem().string()));
    if (!face) face = lib.installed(lib.byName(name));
    return face ? std::shared_ptr<Font>(new Font(std::move(face), pixelSize)) : nullptr;
}

std::shared_ptr<Font> Font::system(float pixelSize) {
    if (!(pixelSize > 0) || pixelSize > kMaxFontSize) return nullptr;
    Library& lib = library();
    std::lock_guard lock(lib.mutex);
    std::shared_ptr<Face> face = lib.installed(lib.system());
    return face ? std::shared_ptr<Font>(new Font(std::move(face), pixelSize)) : nullptr;
}

const std::string& Font::file() const {
    return face_->file;
}

namespace {
// The face that draws c and its glyph index; the font's own missing-glyph box when none has it.
std::pair<Font::Face*, FT_UInt> glyphFor(Font::Face* face, char32_t c) {
    if (FT_UInt index = FT_Get_Char_Index(face->ft, c)) return {face, index};
    if (c < 0x20 || c == 0x7F) return {face, 0};
    if (Font::Face* other = library().standIn(c)) return {other, FT_Get_Char_Index(other->ft, c)};
    return {face, 0};
}
}  // namespace

bool Font::hasGlyph(char32_t c) const {
    std::lock_guard lock(library().mutex);
    return glyphFor(face_.get(), c).second != 0;
}

std::string Font::fileFor(char32_t c) const {
    std::lock_guard lock(library().mutex);
    auto [face, index] = glyphFor(face_.get(), c);
    return index ? face->file : std::string();
}

float Font::advance(char32_t c) const {
    std::lock_guard lock(library().mutex);
    auto [face, index] = glyphFor(face_.get(), c);
    FT_Fixed units = 0;
    if (FT_Get_Advance(face->ft, index, FT_LOAD_NO_SCALE, &units) != 0) return 0;
    return float(units) * size_ / face->unitsPerEm;
}

float Font::ascent() const {
    return face_->ascender * size_ / face_->unitsPerEm;
}

float Font::lineHeight() const {
    return (face_->ascender + face_->descender) * size_ / face_->unitsPerEm;
}

// ---- layout ----

std::shared_ptr<const TextMetrics> TextRenderer::setMetricsOverride(
    std::shared_ptr<const TextMetrics> metrics) {
    Library& lib = library();
    std::lock_guard lock(lib.mutex);
    std::swap(lib.metricsOverride, metrics);
    return metrics;
}

const TextMetrics& TextRenderer::metricsFor(const Font& font) {
    Library& lib = library();
    std::lock_guard lock(lib.mutex);
    return lib.metricsOverride ? *lib.metricsOverride : font;
}

std::u32string TextRenderer::decodeUtf8(std::string_view text) {
    std::u32string out;
    out.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        if (lead < 0x80) {
            out += char32_t(lead);
            ++i;
            continue;
        }
        const int extra = lead >= 0xC2 && lead <= 0xDF   ? 1
                          : lead >= 0xE0 && lead <= 0xEF ? 2
                          : lead >= 0xF0 && lead <= 0xF4 ? 3
                                                         : 0;
        char32_t c = lead & (0x3F >> extra);
        bool valid = extra > 0 && size_t(extra) < text.size() - i;
        for (int k = 1; valid && k <= extra; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            valid = (next & 0xC0) == 0x80;
            c = (c << 6) | (next & 0x3F);
        }
        constexpr char32_t kMinimum[] = {0, 0x80, 0x800, 0x10000};
        if (!valid || c < kMinimum[extra] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
            out += U'\uFFFD';
            ++i;
            continue;
        }
        out += c;
        i += size_t(extra) + 1;
    }
    return out;
}

float TextRenderer::lineWidth(std::u32string_view line, const TextMetrics& metrics) {
    float width = 0;
    for (char32_t c : line) width += metrics.advance(c);
    return width;
}

std::vector<std::u32string> TextRenderer::wrap(std::u32string_view text, const TextMetrics& metrics,
                                               float maxWidth) {
    constexpr float kSlack = 1e-3f;
    std::vector<std::u32string> lines;
    std::u32string line;
    float full = 0;  // with trailing spaces
    auto emit = [&] {
        while (!line.empty() && isSpace(line.back())) line.pop_back();
        lines.push_back(std::move(line));
        line.clear();
        full = 0;
    };
    size_t i = 0;
    while (i < text.size()) {
        // One unit: a word (or a single character that breaks anywhere), then the spaces after it.
        size_t wordEnd = i;
        if (!isSpace(text[i]) && breaksAnywhere(text[i])) {
            wordEnd = i + 1;
        } else {
            while (wordEnd < text.size() && !isSpace(text[wordEnd]) && !breaksAnywhere(text[wordEnd]))
                ++wordEnd;
        }
        size_t unitEnd = wordEnd;
        while (unitEnd < text.size() && isSpace(text[unitEnd])) ++unitEnd;
        const std::u32string_view word = text.substr(i, wordEnd - i);
        const std::u32string_view spaces = text.substr(wordEnd, unitEnd - wordEnd);
        const float wordWidth = lineWidth(word, metrics);
        const float spaceWidth = lineWidth(spaces, metrics);
        i = unitEnd;

        if (!line.empty() && full + wordWidth > maxWidth + kSlack) emit();
        if (line.empty() && wordWidth > maxWidth + kSlack && word.size() > 1) {
            // Too long for any line: break between characters.
            for (char32_t c : word) {
                const float a = metrics.advance(c);
                if (!line.empty() && full + a > maxWidth + kSlack) emit();
                line += c;
                full += a;
            }
        } else {
            line += word;
            full += wordWidth;
        }
        line += spaces;
        full += spaceWidth;
    }
    emit();
    return lines;
}

TextSize TextRenderer::measure(std::string_view text, const TextMetrics& metrics, float maxWidth,
                               float maxHeight) {
    TextSize size;
    const std::u32string all = decodeUtf8(text);
    const float lineHeight = metrics.lineHeight();
    size_t start = 0;
    while (true) {
        const size_t end = all.find(U'\n', start);
        const std::u32string_view paragraph = std::u32string_view(all).substr(
            start, end == std::u32string::npos ? std::u32string::npos : end - start);
        const auto lines = wrap(paragraph, metrics, maxWidth);
        size_t count = lines.size();
        if (lineHeight > 0 && count * lineHeight > maxHeight)
            count = std::max<size_t>(1, size_t(std::floor(maxHeight / lineHeight)));
        for (size_t n = 0; n < count; ++n) size.width = std::max(size.width, lineWidth(lines[n], metrics));
        size.height += count * lineHeight;
        if (end == std::u32string::npos) break;
        start = end + 1;
    }
    return size;
}

bool TextRenderer::draw(uint8_t* rgba, int width, int height, std::string_view text, const Font& font,
                        const TextRect& rect, TextAlignment alignment, const TextStyle& style) {
    if (!rgba || width <= 0 || height <= 0) return false;
    Library& lib = library();
    std::lock_guard lock(lib.mutex);
    const TextMetrics& metrics = metricsFor(font);
    const float lineHeight = metrics.lineHeight();
    const float ascent = metrics.ascent();

    std::vector<std::u32string> lines;
    const std::u32string all = decodeUtf8(text);
    size_t start = 0;
    while (true) {
        const size_t end = all.find(U'\n', start);
        const std::u32string_view paragraph = std::u32string_view(all).substr(
            start, end == std::u32string::npos ? std::u32string::npos : end - start);
        for (auto& line : wrap(paragraph, metrics, rect.width)) lines.push_back(std::move(line));
        if (end == std::u32string::npos) break;
        start = end + 1;
    }

    Plane fill, stroke;
    fill.reset(width, height);
    FT_Stroker stroker = nullptr;
    if (style.stroke && style.strokeSize > 0 && lib.ft && FT_Stroker_New(lib.ft, &stroker) == 0) {
        FT_Stroker_Set(stroker, FT_Fixed(std::lround(style.strokeSize * 32)), FT_STROKER_LINECAP_ROUND,
                       FT_STROKER_LINEJOIN_ROUND, 0);
        stroke.reset(width, height);
    }

    for (size_t n = 0; n < lines.size(); ++n) {
        // Whole lines only; a pixel of slack absorbs the truncation of the box to whole pixels.
        if (n > 0 && (n + 1) * lineHeight > rect.height + 1.0f) break;
        const float used = lineWidth(lines[n], metrics);
        float pen = rect.x;
        if (alignment == TextAlignment::Center)
            pen += (rect.width - used) / 2;
        else if (alignment == TextAlignment::Right)
            pen += rect.width - used;
        const float baseline = rect.y + n * lineHeight + ascent;
        for (char32_t c : lines[n]) {
            auto [face, index] = glyphFor(font.face_.get(), c);
            setSize(face->ft, font.size_);
            if (!isSpace(c)) {
                renderGlyph(face->ft, index, pen, baseline, nullptr, fill);
                if (stroker) renderGlyph(face->ft, index, pen, baseline, stroker, stroke);
            }
            pen += metrics.advance(c);
        }
    }
    if (stroker) FT_Stroker_Done(stroker);

    // The text layer is the fill with the outline painted over it; the shadow is that layer's coverage,
    // moved and blurred, under it.
    const size_t count = size_t(width) * height;
    const bool stroked = stroker != nullptr;
    auto coverage = [&](size_t i, float* fillAlpha, float* strokeAlpha) {
        *fillAlpha = fill.values[i] / 255.0f;
        *strokeAlpha = stroked ? stroke.values[i] / 255.0f : 0.0f;
        return *fillAlpha * (1 - *strokeAlpha) + *strokeAlpha;
    };
    std::vector<float> shadow;
    if (style.shadow) {
        shadow.assign(count, 0);
        const int dx = int(std::lround(style.shadowOffsetX));
        const int dy = -int(std::lround(style.shadowOffsetY));
        float fa, sa;
        for (int y = 0; y < height; ++y) {
            const int sy = y - dy;
            if (sy < 0 || sy >= height) continue;
            for (int x = 0; x < width; ++x) {
                const int sx = x - dx;
                if (sx >= 0 && sx < width)
                    shadow[size_t(y) * width + x] = coverage(size_t(sy) * width + sx, &fa, &sa);
            }
        }
        blur(shadow, width, height, gaussianKernel(style.shadowBlur));
    }

    for (size_t i = 0; i < count; ++i) {
        float fa, sa;
        float a = coverage(i, &fa, &sa);
        const float fillWeight = fa * (1 - sa);
        const float r = style.red * fillWeight + style.strokeRed * sa;
        const float g = style.green * fillWeight + style.strokeGreen * sa;
        const float b = style.blue * fillWeight + style.strokeBlue * sa;
        if (!shadow.empty()) a += shadow[i] * kShadowAlpha * (1 - a);
        if (a <= 0) continue;
        uint8_t* out = rgba + i * 4;
        const float keep = 1 - a;
        out[0] = toByte(r + out[0] / 255.0f * keep);
        out[1] = toByte(g + out[1] / 255.0f * keep);
        out[2] = toByte(b + out[2] / 255.0f * keep);
        out[3] = toByte(a + out[3] / 255.0f * keep);
    }
    return true;
}

}  // namespace plat
