// Watches the X screen from outside the program being measured: it starts a
// program, clicks or presses a key, and reports how many milliseconds passed
// until a region of the screen shows (or stops showing) a colour. The same
// probe serves every program, so their figures compare.
//
//   probe start COND -- PROGRAM ARGS...   prints "MS PID"; PROGRAM keeps running
//   probe click X Y BUTTON COND           prints MS from the press
//   probe key KEYSYM COND                 prints MS from the press (KEYSYM in hex)
//   probe keys KEYSYM...                  presses and releases, no wait
//   probe wait COND                       prints MS from now
//   probe bbox R,G,B                      prints "X Y W H" of that colour on screen
//
// COND: --match R,G,B | --differ R,G,B, with [--region X,Y,W,H] [--min N]
// [--timeout MS]. It holds when at least N sampled pixels of the region
// match (or differ from) the colour within a tolerance.
#include <xcb/xcb.h>
#include <xcb/xtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

xcb_connection_t* connection;
xcb_screen_t* screen;

struct Rgb { int r, g, b; };

struct Condition {
    Rgb colour{};
    bool match = true;
    int x = 0, y = 0, w = 0, h = 0;
    int min = 1;
    int timeoutMs = 20000;
};

[[noreturn]] void fail(const char* what)
{
    std::fprintf(stderr, "probe: %s\n", what);
    std::exit(2);
}

Rgb parseRgb(const char* text)
{
    Rgb c{};
    if (std::sscanf(text, "%d,%d,%d", &c.r, &c.g, &c.b) != 3)
        fail("colour must be R,G,B");
    return c;
}

bool near(Rgb a, int r, int g, int b)
{
    return std::abs(a.r - r) <= 28 && std::abs(a.g - g) <= 28 && std::abs(a.b - b) <= 28;
}

// Pixels of the region that satisfy the condition, sampled on up to 48 rows
// and every other column, so that a poll stays cheap.
int count(const Condition& c)
{
    int hits = 0;
    const int step = std::max(1, c.h / 48);
    for (int row = c.y; row < c.y + c.h; row += step) {
        auto cookie = xcb_get_image(connection, XCB_IMAGE_FORMAT_Z_PIXMAP, screen->root, c.x, row, c.w, 1, ~0u);
        xcb_get_image_reply_t* reply = xcb_get_image_reply(connection, cookie, nullptr);
        if (!reply)
            continue;
        const uint8_t* pixels = xcb_get_image_data(reply);  // B, G, R, X
        const int length = xcb_get_image_data_length(reply);
        for (int i = 0; i + 3 < length; i += 8)
            if (near(c.colour, pixels[i + 2], pixels[i + 1], pixels[i]) == c.match)
                ++hits;
        std::free(reply);
    }
    return hits;
}

long msSince(Clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// Polls every 2 ms; returns the milliseconds from start, or -1 on timeout.
long waitFor(const Condition& c, Clock::time_point start)
{
    while (msSince(start) < c.timeoutMs) {
        if (count(c) >= c.min)
            return msSince(start);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return -1;
}

// Reads COND options from argv[i...] up to "--" or the end.
Condition parseCondition(int argc, char** argv, int& i)
{
    Condition c;
    c.w = screen->width_in_pixels;
    c.h = screen->height_in_pixels;
    for (; i < argc && std::strcmp(argv[i], "--") != 0; ++i) {
        const std::string option = argv[i];
        if (i + 1 >= argc)
            fail("option without value");
        const char* value = argv[++i];
        if (option == "--match" || option == "--differ") {
            c.colour = parseRgb(value);
            c.match = option == "--match";
        } else if (option == "--region") {
            if (std::sscanf(value, "%d,%d,%d,%d", &c.x, &c.y, &c.w, &c.h) != 4)
                fail("region must be X,Y,W,H");
        } else if (option == "--min") {
            c.min = std::atoi(value);
        } else if (option == "--timeout") {
            c.timeoutMs = std::atoi(value);
        } else {
            fail("unknown option");
        }
    }
    return c;
}

void fake(uint8_t type, uint8_t detail, int16_t x = 0, int16_t y = 0)
{
    xcb_test_fake_input(connection, type, detail, XCB_CURRENT_TIME, screen->root, x, y, 0);
}

xcb_keycode_t keycodeOf(xcb_keysym_t keysym)
{
    const xcb_setup_t* setup = xcb_get_setup(connection);
    const int first = setup->min_keycode, n = setup->max_keycode - setup->min_keycode + 1;
    auto* reply = xcb_get_keyboard_mapping_reply(connection, xcb_get_keyboard_mapping(connection, first, n), nullptr);
    if (!reply)
        fail("no keyboard mapping");
    const xcb_keysym_t* syms = xcb_get_keyboard_mapping_keysyms(reply);
    xcb_keycode_t code = 0;
    for (int k = 0; k < n && !code; ++k)
        for (int s = 0; s < reply->keysyms_per_keycode; ++s)
            if (syms[k * reply->keysyms_per_keycode + s] == keysym) {
                code = first + k;
                break;
            }
    std::free(reply);
    if (!code)
        fail("key not on the keyboard");
    return code;
}

void press(xcb_keysym_t keysym)
{
    const xcb_keycode_t code = keycodeOf(keysym);
    fake(XCB_KEY_PRESS, code);
    fake(XCB_KEY_RELEASE, code);
    xcb_flush(connection);
}

void report(long ms)
{
    if (ms < 0)
        fail("timed out");
    std::printf("%ld\n", ms);
}

}  // namespace

int main(int argc, char** argv)
{
    connection = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(connection))
        fail("cannot open the display");
    screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
    if (argc < 2)
        fail("usage: probe start|click|key|keys|bbox ...");
    const std::string mode = argv[1];
    int i = 2;

    if (mode == "start") {
        Condition c = parseCondition(argc, argv, i);
        if (i + 1 >= argc)
            fail("start needs -- PROGRAM");
        const auto start = Clock::now();
        const pid_t pid = fork();
        if (pid == 0) {
            const int null = open("/dev/null", O_RDWR);
            dup2(null, 1);
            dup2(null, 2);
            setsid();
            execvp(argv[i + 1], argv + i + 1);
            _exit(127);
        }
        const long ms = waitFor(c, start);
        if (ms < 0) {
            std::printf("-1 %d\n", int(pid));
            return 1;
        }
        std::printf("%ld %d\n", ms, int(pid));
    } else if (mode == "click") {
        if (argc < 5)
            fail("click X Y BUTTON COND");
        const int x = std::atoi(argv[2]), y = std::atoi(argv[3]), button = std::atoi(argv[4]);
        i = 5;
        Condition c = parseCondition(argc, argv, i);
        fake(XCB_MOTION_NOTIFY, 0, x, y);
        // The pointer is in place before the clock starts.
        std::free(xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr));
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        const auto start = Clock::now();
        fake(XCB_BUTTON_PRESS, button);
        fake(XCB_BUTTON_RELEASE, button);
        xcb_flush(connection);
        report(waitFor(c, start));
    } else if (mode == "key") {
        if (argc < 3)
            fail("key KEYSYM COND");
        const auto keysym = xcb_keysym_t(std::strtoul(argv[2], nullptr, 16));
        i = 3;
        Condition c = parseCondition(argc, argv, i);
        const auto start = Clock::now();
        press(keysym);
        report(waitFor(c, start));
    } else if (mode == "keys") {
        for (; i < argc; ++i) {
            press(xcb_keysym_t(std::strtoul(argv[i], nullptr, 16)));
            std::this_thread::sleep_for(std::chrono::milliseconds(30));
        }
    } else if (mode == "wait") {
        Condition c = parseCondition(argc, argv, i);
        report(waitFor(c, Clock::now()));
    } else if (mode == "bbox") {
        if (argc < 3)
            fail("bbox R,G,B");
        const Rgb c = parseRgb(argv[2]);
        const int w = screen->width_in_pixels, h = screen->height_in_pixels;
        auto* reply = xcb_get_image_reply(connection,
            xcb_get_image(connection, XCB_IMAGE_FORMAT_Z_PIXMAP, screen->root, 0, 0, w, h, ~0u), nullptr);
        if (!reply)
            fail("cannot read the screen");
        const uint8_t* p = xcb_get_image_data(reply);
        int left = w, top = h, right = -1, bottom = -1;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const uint8_t* px = p + (y * w + x) * 4;
                if (near(c, px[2], px[1], px[0])) {
                    left = std::min(left, x), right = std::max(right, x);
                    top = std::min(top, y), bottom = std::max(bottom, y);
                }
            }
        std::free(reply);
        if (right < 0)
            fail("colour not on screen");
        std::printf("%d %d %d %d\n", left, top, right - left + 1, bottom - top + 1);
    } else {
        fail("unknown mode");
    }
    xcb_disconnect(connection);
    return 0;
}
