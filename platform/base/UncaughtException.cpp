#include "platform/base/UncaughtException.h"

#include <cxxabi.h>
#include <dlfcn.h>
#include <elf.h>
#include <fcntl.h>
#include <link.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <optional>
#include <sstream>
#include <typeinfo>
#include <vector>

namespace plat {

namespace {

std::atomic<UncaughtExceptionHandler>& slot() {
    static std::atomic<UncaughtExceptionHandler> handler{nullptr};
    return handler;
}

bool isThrowMachinery(const std::string& line) {
    return line.find("__cxa_throw") != std::string::npos || line.find("__cxa_rethrow") != std::string::npos;
}

// Keeps the lines from the one above the outermost throwing frame on, renumbered from 0.
std::vector<std::string> throwSiteLines(const std::vector<std::string>& lines) {
    size_t first = lines.size();
    for (size_t i = 0; i < lines.size(); ++i) {
        if (isThrowMachinery(lines[i])) {
            first = i;
            break;
        }
    }
    if (first == lines.size()) return lines;
    // A sanitizer's interceptor may stand between the machinery and the thrower.
    size_t last = first;
    while (last + 1 < lines.size() && isThrowMachinery(lines[last + 1])) ++last;
    std::vector<std::string> out;
    for (size_t i = last == 0 ? 0 : last - 1, n = 0; i < lines.size(); ++i, ++n) {
        // Each line starts with its index in a four-character column.
        char index[24];
        std::snprintf(index, sizeof index, "%-4zu", n);
        const std::string& line = lines[i];
        out.push_back(index + (line.size() > 4 ? line.substr(4) : std::string()));
    }
    return out;
}

// A module's file mapped for reading, unmapped with the object.
class MappedFile {
  public:
    explicit MappedFile(const char* path) {
        const int fd = open(path, O_RDONLY | O_CLOEXEC);
        if (fd < 0) return;
        struct stat st {};
        if (fstat(fd, &st) == 0 && st.st_size > 0) {
            void* data = mmap(nullptr, static_cast<size_t>(st.st_size), PROT_READ, MAP_PRIVATE, fd, 0);
            if (data != MAP_FAILED) {
                data_ = static_cast<const uint8_t*>(data);
                size_ = static_cast<size_t>(st.st_size);
            }
        }
        close(fd);
    }
    ~MappedFile() {
        if (data_) munmap(const_cast<uint8_t*>(data_), size_);
    }
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;
    // `count` objects of T at `offset`, or null when they do not lie wholly inside the file.
    template <typename T>
    const T* at(uint64_t offset, uint64_t count = 1) const {
        if (!data_ || offset > size_ || count > (size_ - offset) / sizeof(T)) return nullptr;
        return reinterpret_cast<const T*>(data_ + offset);
    }

  private:
    const uint8_t* data_ = nullptr;
    size_t size_ = 0;
};

struct FoundSymbol {
    std::string name;
    uintptr_t start = 0;
};

// The function symbol of a loaded module's file (its full symbol table, else its dynamic one) that holds
// `address`. Symbols that dladdr cannot see (those of the program itself, which exports none) are found
// here.
std::optional<FoundSymbol> symbolInModuleFile(uintptr_t address) {
    Dl_info info{};
    link_map* module = nullptr;
    if (dladdr1(reinterpret_cast<void*>(address), &info, reinterpret_cast<void**>(&module),
                RTLD_DL_LINKMAP) == 0 ||
        !module)
        return std::nullopt;
    const char* path = module->l_name && *module->l_name ? module->l_name : "/proc/self/exe";
    MappedFile file(path);
    const auto* header = file.at<Elf64_Ehdr>(0);
    if (!header || std::memcmp(header->e_ident, ELFMAG, SELFMAG) != 0 ||
        header->e_ident[EI_CLASS] != ELFCLASS64 || header->e_shentsize != sizeof(Elf64_Shdr))
        return std::nullopt;
    const auto* sections = file.at<Elf64_Shdr>(header->e_shoff, header->e_shnum);
    if (!sections) return std::nullopt;
    const uintptr_t wanted = address - module->l_addr;
    for (uint32_t kind : {uint32_t{SHT_SYMTAB}, uint32_t{SHT_DYNSYM}}) {
        for (uint16_t i = 0; i < header->e_shnum; ++i) {
            const Elf64_Shdr& table = sections[i];
            if (table.sh_type != kind || table.sh_entsize != sizeof(Elf64_Sym) ||
                table.sh_link >= header->e_shnum)
                continue;
            const Elf64_Shdr& names = sections[table.sh_link];
            const auto* symbols = file.at<Elf64_Sym>(table.sh_offset, table.sh_size / sizeof(Elf64_Sym));
            const auto* text = file.at<char>(names.sh_offset, names.sh_size);
            if (!symbols || !text) continue;
            for (uint64_t n = 0; n < table.sh_size / sizeof(Elf64_Sym); ++n) {
                const Elf64_Sym& sym = symbols[n];
                if (ELF64_ST_TYPE(sym.st_info) != STT_FUNC || sym.st_value == 0 ||
                    sym.st_name >= names.sh_size)
                    continue;
                if (wanted < sym.st_value || wanted - sym.st_value >= sym.st_size) continue;
                const char* name = text + sym.st_name;
                return FoundSymbol{std::string(name, strnlen(name, names.sh_size - sym.st_name)),
                                   static_cast<uintptr_t>(sym.st_value + module->l_addr)};
            }
        }
    }
    return std::nullopt;
}

std::terminate_handler& previousTerminate() {
    static std::terminate_handler handler = nullptr;
    return handler;
}

[[noreturn]] void onTerminate() {
    if (UncaughtExceptionHandler handler = slot().load()) {
        if (std::exception_ptr current = std::current_exception()) {
            const Exception exception = uncaughtExceptionFrom(current);
            handler(&exception);
        }
    }
    // The runtime's own handler says what was thrown, then aborts.
    if (std::terminate_handler next = previousTerminate()) next();
    std::abort();
}

}  // namespace

std::string demangle(const char* mangled) {
    int status = 0;
    char* demangled = abi::__cxa_demangle(mangled, nullptr, nullptr, &status);
    std::string name = status == 0 && demangled ? demangled : mangled;
    std::free(demangled);
    return name;
}

std::string readableFrame(const std::string& line) {
    // index, module, address, symbol (blanks inside once demangled), "+", offset
    std::istringstream in(line);
    std::vector<std::string> pieces;
    for (std::string piece; in >> piece;) pieces.push_back(piece);
    if (pieces.size() < 6 || pieces[pieces.size() - 2] != "+" || pieces[2].rfind("0x", 0) != 0) return line;
    char* end = nullptr;
    const uintptr_t address = std::strtoull(pieces[2].c_str(), &end, 16);
    if (*end != '\0' || address == 0) return line;
    std::string symbol = pieces[3];
    for (size_t i = 4; i + 2 < pieces.size(); ++i) symbol += " " + pieces[i];
    std::string offset = pieces.back();
    if (symbol == pieces[1]) {
        // A return address may be one past its function's end (a call that never returns), so the
        // byte before it is looked up.
        if (auto found = symbolInModuleFile(address - 1)) {
            symbol = found->name;
            offset = std::to_string(address - found->start);
        }
    }
    if (symbol.rfind("_Z", 0) == 0) symbol = demangle(symbol.c_str());
    const size_t head = line.find(pieces[2]) + pieces[2].size();
    std::string out = line.substr(0, head) + " " + symbol + " + " + offset;
    return out == line ? line : out;
}

Exception uncaughtExceptionFrom(std::exception_ptr exception) {
    Exception out("", "");
    try {
        std::rethrow_exception(exception);
    } catch (const Exception& e) {
        out = e;
    } catch (const std::exception& e) {
        out = Exception(demangle(typeid(e).name()), e.what());
    } catch (...) {
        const std::type_info* type = abi::__cxa_current_exception_type();
        out = Exception(type ? demangle(type->name()) : std::string("unknown exception"), "");
    }
    // Made readable first: a frame of the throwing machinery may be known only by its module until then.
    std::vector<std::string> lines = out.callStackSymbols();
    const bool captured = lines.empty();
    if (captured) {
        Exception here("", "");
        here.captureCallStack();
        lines = here.callStackSymbols();
    }
    for (auto& line : lines) line = readableFrame(line);
    out.setCallStackSymbols(captured ? throwSiteLines(lines) : std::move(lines));
    return out;
}

UncaughtExceptionHandler getUncaughtExceptionHandler() {
    return slot().load();
}

void setUncaughtExceptionHandler(UncaughtExceptionHandler handler) {
    static std::once_flag installed;
    std::call_once(installed, [] { previousTerminate() = std::set_terminate(onTerminate); });
    slot().store(handler);
}

}  // namespace plat
