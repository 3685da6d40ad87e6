// What a frame in a window costs on Mesa's software renderer, the X server's share included, and what a
// bigger window adds. The same frame (the field's 640x1136 picture drawn off screen as the engine does,
// scaled into the window with black bars) is presented both ways in one run: through the X connection's
// socket (EGL's window surface) and through memory shared with the server. Windows of 640x1136 (1x),
// 1920x1080 (maximised on 1080 lines) and 3840x2160 (fullscreen on 2160 lines).
//
// The program starts its own Xvfb with a 3840x2160 screen. Per frame: game_ms, this process's CPU time (the
// renderer's threads included); xserver_ms, the server's CPU time (from /proc); total_ms, the two together;
// socket_bytes, what the process wrote (/proc/self/io, nearly all of it to the X connection); frame_bytes,
// the frame's own size; present_ms, the present alone (the drawing is finished before it). No vsync: each
// frame is drawn and presented as fast as it goes.
#include <benchmark/benchmark.h>
#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "platform/media/GLContext.h"
#include "platform/ui/X11Window.h"

// Last: Xlib's macros clash with other headers.
#include <X11/Xlib.h>
#undef None

namespace {

constexpr int kFieldWidth = 640;
constexpr int kFieldHeight = 1136;
constexpr int kSprites = 100;
constexpr GLenum kReadFramebuffer = 0x8CA8;
constexpr GLenum kDrawFramebuffer = 0x8CA9;
using BlitFn = void (*)(GLint, GLint, GLint, GLint, GLint, GLint, GLint, GLint, GLbitfield, GLenum);

struct Size {
    int width, height;
    const char* name;
};
constexpr Size kSizes[] = {
    {640, 1136, "1x"}, {1920, 1080, "maximised_1080"}, {3840, 2160, "fullscreen_2160"}};

double processCpuMs() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

// User and system time of a process, in milliseconds.
double cpuMsOf(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    const size_t close = text.rfind(')');
    if (close == std::string::npos) return 0;
    unsigned long utime = 0, stime = 0;
    // After the name: state, then fields 4 to 13, then utime and stime.
    if (std::sscanf(text.c_str() + close + 2, "%*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %lu %lu", &utime,
                    &stime) != 2)
        return 0;
    return static_cast<double>(utime + stime) * 1e3 / static_cast<double>(sysconf(_SC_CLK_TCK));
}

double bytesWritten() {
    std::ifstream io("/proc/self/io");
    std::string key;
    double value = 0;
    while (io >> key >> value)
        if (key == "wchar:") return value;
    return 0;
}

// The benchmark's own X server, stopped when the program ends.
struct Server {
    pid_t pid = -1;
    Server() {
        const std::string display = ":" + std::to_string(900 + getpid() % 90);
        pid = fork();
        if (pid == 0) {
            execlp("Xvfb", "Xvfb", display.c_str(), "-screen", "0", "3840x2160x24", "-nolisten", "tcp",
                   static_cast<char*>(nullptr));
            _exit(127);
        }
        for (int i = 0; pid > 0 && i < 250; ++i) {
            if (Display* probe = XOpenDisplay(display.c_str())) {
                XCloseDisplay(probe);
                setenv("DISPLAY", display.c_str(), 1);
                return;
            }
            usleep(20000);
        }
        stop();
    }
    ~Server() { stop(); }
    void stop() {
        if (pid > 0) {
            kill(pid, SIGTERM);
            waitpid(pid, nullptr, 0);
        }
        pid = -1;
    }
};

Server& server() {
    static Server* instance = new Server();
    static struct Stopper {
        ~Stopper() { instance->stop(); }
    } stopper;
    return *instance;
}

GLuint compile(GLenum type, const char* source) {
    GLuint shader = glCreateShader(type);
    glShaderSource(shader, 1, &source, nullptr);
    glCompileShader(shader);
    return shader;
}

// The field: a background and moving textured sprites, blended, drawn into its own 16-bit framebuffer.
struct Field {
    GLuint framebuffer = 0, color = 0, program = 0, texture = 0;
    std::vector<float> quads;
    int frame = 0;

    Field() {
        glGenRenderbuffers(1, &color);
        glBindRenderbuffer(GL_RENDERBUFFER, color);
        glRenderbufferStorage(GL_RENDERBUFFER, GL_RGB565, kFieldWidth, kFieldHeight);
        glGenFramebuffers(1, &framebuffer);
        glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, color);
        program = glCreateProgram();
        glAttachShader(program, compile(GL_VERTEX_SHADER,
                                        "attribute vec4 p; varying vec2 t; void main() {"
                                        " t = p.zw; gl_Position = vec4(p.xy, 0.0, 1.0); }"));
        glAttachShader(program, compile(GL_FRAGMENT_SHADER,
                                        "precision mediump float; varying vec2 t; uniform sampler2D s;"
                                        " void main() { gl_FragColor = texture2D(s, t); }"));
        glBindAttribLocation(program, 0, "p");
        glLinkProgram(program);
        std::vector<unsigned char> pixels(64 * 64 * 4);
        for (size_t i = 0; i < pixels.size(); i += 4) {
            pixels[i] = static_cast<unsigned char>(i * 7);
            pixels[i + 1] = static_cast<unsigned char>(i * 3);
            pixels[i + 2] = 200;
            pixels[i + 3] = static_cast<unsigned char>(128 + (i / 4) % 128);
        }
        glGenTextures(1, &texture);
        glBindTexture(GL_TEXTURE_2D, texture);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 64, 64, 0, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        quads.resize(static_cast<size_t>(kSprites) * 6 * 4);
    }

    void draw() {
        glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
        glViewport(0, 0, kFieldWidth, kFieldHeight);
        glClearColor(0.2f, 0.5f, 0.3f, 1);
        glClear(GL_COLOR_BUFFER_BIT);
        glUseProgram(program);
        glEnable(GL_BLEND);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        ++frame;
        for (int i = 0; i < kSprites; ++i) {
            const float x = static_cast<float>((i * 37 + frame * (i % 5 + 1)) % 200) / 100.0f - 1.0f;
            const float y = static_cast<float>((i * 53 + frame * (i % 3 + 1)) % 200) / 100.0f - 1.0f;
            const float w = 0.2f, h = 0.11f;
            const float corners[6][4] = {{x, y, 0, 0},     {x + w, y, 1, 0},     {x, y + h, 0, 1},
                                         {x + w, y, 1, 0}, {x + w, y + h, 1, 1}, {x, y + h, 0, 1}};
            float* out = quads.data() + static_cast<size_t>(i) * 24;
            for (int c = 0; c < 6; ++c)
                for (int k = 0; k < 4; ++k) out[c * 4 + k] = corners[c][k];
        }
        glEnableVertexAttribArray(0);
        glVertexAttribPointer(0, 4, GL_FLOAT, GL_FALSE, 0, quads.data());
        glDrawArrays(GL_TRIANGLES, 0, kSprites * 6);
        glDisable(GL_BLEND);
    }

    // Into the window's framebuffer, scaled to fit with black bars, as the window's layer does.
    void show(int width, int height) {
        static const auto blit = reinterpret_cast<BlitFn>(eglGetProcAddress("glBlitFramebuffer"));
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
        glViewport(0, 0, width, height);
        glClearColor(0, 0, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT);
        const double scale =
            std::min(static_cast<double>(width) / kFieldWidth, static_cast<double>(height) / kFieldHeight);
        const int w = static_cast<int>(kFieldWidth * scale), h = static_cast<int>(kFieldHeight * scale);
        const int x = (width - w) / 2, y = (height - h) / 2;
        glBindFramebuffer(kReadFramebuffer, framebuffer);
        glBindFramebuffer(kDrawFramebuffer, 0);
        blit(0, 0, kFieldWidth, kFieldHeight, x, y, x + w, y + h, GL_COLOR_BUFFER_BIT, GL_LINEAR);
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
    }
};

void BM_PresentFrame(benchmark::State& state) {
    const Size size = kSizes[state.range(0)];
    const bool shared = state.range(1) == 1;
    state.SetLabel(std::string(size.name) + (shared ? " shared memory" : " socket"));
    if (server().pid <= 0) {
        state.SkipWithError("no Xvfb");
        return;
    }
    plat::X11WindowOptions options;
    options.width = size.width;
    options.height = size.height;
    auto window = plat::X11Window::create(options);
    if (!window || !window->waitUntilVisible()) {
        state.SkipWithError("no window");
        return;
    }
    plat::GLContextOptions glOptions;
    glOptions.color = plat::GLColorFormat::RGBA8888;
    glOptions.depth = plat::GLDepthFormat::None;
    std::unique_ptr<plat::GLContext> context;
    window->whileItExists([&] {
        context = plat::GLContext::createForWindow(window->eglDisplay(), window->nativeWindow(), glOptions,
                                                   shared ? window->xDisplay() : nullptr);
    });
    if (!context || context->presentsThroughSharedMemory() != shared) {
        state.SkipWithError("no context presenting that way");
        return;
    }
    eglSwapInterval(eglGetCurrentDisplay(), 0);
    {
        Field field;
        for (int i = 0; i < 5; ++i) {  // warm: shaders compiled, buffers made
            field.draw();
            field.show(size.width, size.height);
            context->present();
        }
        const double cpu0 = processCpuMs(), server0 = cpuMsOf(server().pid), bytes0 = bytesWritten();
        double presentMs = 0;
        for (auto _ : state) {
            field.draw();
            field.show(size.width, size.height);
            glFinish();
            const double before = processCpuMs();
            if (!context->present()) state.SkipWithError("present failed");
            presentMs += processCpuMs() - before;
            window->processEvents();
        }
        const double frames = static_cast<double>(state.iterations());
        const double game = (processCpuMs() - cpu0) / frames;
        const double xserver = (cpuMsOf(server().pid) - server0) / frames;
        state.counters["game_ms"] = game;
        state.counters["xserver_ms"] = xserver;
        state.counters["total_ms"] = game + xserver;
        state.counters["present_ms"] = presentMs / frames;
        state.counters["socket_bytes"] = (bytesWritten() - bytes0) / frames;
        state.counters["frame_bytes"] = static_cast<double>(size.width) * size.height * 4;
        glDeleteFramebuffers(1, &field.framebuffer);
        glDeleteRenderbuffers(1, &field.color);
        glDeleteTextures(1, &field.texture);
        glDeleteProgram(field.program);
    }
    context.reset();
    window.reset();
}

}  // namespace

BENCHMARK(BM_PresentFrame)
    ->ArgsProduct({{0, 1, 2}, {0, 1}})
    ->ArgNames({"size", "shared"})
    ->Unit(benchmark::kMillisecond)
    ->MinTime(3.0)
    ->UseRealTime();
