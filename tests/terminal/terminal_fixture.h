// The front end on a terminal of a fixed size and a scripted clock, for the tests of what it
// draws (test_frontend.cpp) and of its press log (test_presslog.cpp).
#pragma once

#include "res/resource.h"
#include "terminal/frontend.h"
#include "tests/support/verifier.h"

namespace terminal_test {

using terminal::Key;

// A terminal of a fixed size that keeps what was drawn last.
class FakeIo : public terminal::Io {
  public:
    FakeIo(int cols, int rows) : cols(cols), rows(rows), last(cols, rows) {}
    void size(int& c, int& r) override {
        c = cols;
        r = rows;
    }
    void draw(const terminal::ScreenBuffer& screen) override { last = screen; }
    bool read(Key&, int) override { return false; }
    uint64_t now() override { return 0; }
    int cols, rows;
    terminal::ScreenBuffer last;
};

// A user whose keys come at set times on a virtual clock, which read() waits by; when they are
// all given, Ctrl-C.
class ScriptedIo : public FakeIo {
  public:
    struct Event {
        uint64_t at;
        Key key;
    };
    explicit ScriptedIo(std::vector<Event> events) : FakeIo(80, 24), m_events(std::move(events)) {}
    bool read(Key& key, int timeoutMs) override {
        if (beforeRead)
            beforeRead();
        if (m_next == m_events.size()) {
            key = Key{Key::Interrupt};
            return true;
        }
        const Event& e = m_events[m_next];
        if (e.at > m_clock + static_cast<uint64_t>(timeoutMs)) {
            m_clock += static_cast<uint64_t>(timeoutMs);
            return false;
        }
        m_clock = std::max(m_clock, e.at);
        key = e.key;
        ++m_next;
        return true;
    }
    uint64_t now() override { return m_clock; }
    std::function<void()> beforeRead; // what the program did since the last read

  private:
    std::vector<Event> m_events;
    size_t m_next = 0;
    uint64_t m_clock = 0;
};

class Terminal : public VerifierTest {
  protected:
    void SetUp() override {
        VerifierTest::SetUp();
        fake_zelk::data = {0xAB};
        start();
    }
    void start() {
        front.reset();
        app.reset(); // one program at a time: the model is one desktop
        app = startVerifier();
        front = std::make_unique<terminal::FrontEnd>(io, *app);
        front->alsoFit(terminal::dialogClientSizes(programResources()));
    }
    // A front end whose messages come from pending, as the library writes them.
    void withMessages(std::vector<std::string>& pending) {
        front = std::make_unique<terminal::FrontEnd>(io, *app, [&pending] {
            std::vector<std::string> out;
            out.swap(pending);
            return out;
        });
        screen();
    }
    std::string statusLine() {
        screen();
        return io.last.row(22) + "\n" + io.last.row(23);
    }
    // A key or click through the front end; it returns with the program's answer.
    void press(Key key) { front->handle(key); }
    std::string screen() {
        front->redraw();
        return io.last.dump();
    }
    // The column where the text starts on that row of the screen, or -1.
    int find(int row, const std::string& text) {
        front->redraw();
        const auto& s = io.last;
        for (int x = 0; x < s.cols(); ++x) {
            std::string run;
            for (int k = x; k < s.cols() && run.size() < text.size(); ++k)
                if (!s.at(k, row).continuation)
                    run += model::utf8(std::u16string(1, static_cast<char16_t>(s.at(k, row).ch)));
            if (run == text)
                return x;
        }
        return -1;
    }

    FakeIo io{80, 24};
    std::unique_ptr<model::Program> app;
    std::unique_ptr<terminal::FrontEnd> front;
};

} // namespace terminal_test
