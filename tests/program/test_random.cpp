// Random use of the verifier on the model: for many fixed seeds, a long sequence of what can
// happen to the dialog, under random library statuses and COM states, with the invariants
// checked after every step. A failing seed is printed; VERIFIER_SEED=n replays just that one.
#include "res/resource.h"
#include "tests/support/verifier.h"

#include <cstdio>
#include <cstdlib>
#include <random>

namespace {

const int kSeeds = 2000;
const int kSteps = 150;

struct Run {
    std::mt19937 rng;
    std::unique_ptr<model::Program> app;
    HWND verifier = nullptr;
    bool hardwareOk = false; // ZELK_HWInit was called and succeeded
    int comBefore = 0;       // the thread's own COM initialisations
    std::vector<std::string> record;

    int pick(int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); }

    std::string expectedField() const {
        if (fake_zelk::last == -2)
            return "";
        char hex[16];
        std::snprintf(hex, sizeof hex, "%X",
                      fake_zelk::last < 0 ? 0u : static_cast<unsigned>(fake_zelk::last));
        return hex;
    }

    // One thing that can happen to the dialog.
    void step() {
        switch (pick(12)) {
        case 0:
        case 1:
        case 2:
            app->clickIn(verifier, IDC_START_STOP); // dropped while a modal box is up
            break;
        case 3:
        case 4:
            app->advance(static_cast<uint64_t>(pick(700)));
            break;
        case 5:
            app->post(WM_TIMER, static_cast<WPARAM>(2 + pick(100)), 0);
            break;
        case 6:
            app->sysCommand(static_cast<UINT_PTR>(0x10 + pick(16)));
            break;
        case 7:
            app->key(pick(2) ? VK_ESCAPE : VK_RETURN); // ends the About box, or the verifier
            break;
        case 8:
            app->sysCommand(pick(2) ? SC_MINIMIZE : SC_RESTORE);
            break;
        case 9:
            app->setIconicClient(pick(120), pick(120));
            app->invalidate();
            break;
        case 10:
            app->sysCommand(0x20 + static_cast<UINT_PTR>(pick(4)) * 0x10);
            break;
        default:
            if (pick(10) == 0) // a close at a random point, now and then
                app->closeBox();
            else
                app->advance(200);
            break;
        }
        const auto more = app->takeRecord();
        record.insert(record.end(), more.begin(), more.end());
    }

    void checkWhileOpen() {
        const auto w = app->window(verifier);
        if (!w)
            return;
        int pollTimers = 0;
        for (const auto& t : app->timers())
            pollTimers += t.window == verifier && t.id == IDT_POLL;
        const std::string button = w->control(IDC_START_STOP)->text;
        ASSERT_LE(pollTimers, 1);
        ASSERT_EQ(pollTimers == 1, button == "Stop") << "button \"" << button << "\"";
        ASSERT_EQ(w->control(IDC_REMOTE_DATA)->text, expectedField());
    }

    // What the record said so far; each check reads only what was added since the last one.
    size_t checked = 0;
    bool freed = false, destroyed = false;
    int frees = 0;

    void checkRecord() {
        for (; checked < record.size(); ++checked) {
            const std::string& r = record[checked];
            const bool libraryCall = r.rfind("ZELK_", 0) == 0;
            ASSERT_NE(r, "CoUninitialize unbalanced");
            ASSERT_FALSE(freed && libraryCall) << "library call after ZELK_Free: " << r;
            ASSERT_FALSE(destroyed && r.rfind("ZELK_GetRemoteData", 0) == 0)
                << "a tick after the teardown";
            destroyed = destroyed || r == "WM_DESTROY dialog 102";
            freed = freed || r == "ZELK_Free";
            frees += r == "ZELK_Free";
        }
        if (!app->window(verifier)) {
            ASSERT_EQ(frees, hardwareOk ? 1 : 0);
            ASSERT_EQ(app->comInitializations(), comBefore) << "COM unbalanced";
        }
    }
};

void runSeed(unsigned seed) {
    SCOPED_TRACE("seed " + std::to_string(seed) +
                 " (replay with VERIFIER_SEED=" + std::to_string(seed) + ")");
    fake_zelk::reset();
    Run run;
    run.rng.seed(seed);
    const int statuses[] = {0, 1, 7, 8, 9, -1};
    fake_zelk::status = statuses[run.pick(6)];
    for (int i = 0, n = 1 + run.pick(6); i < n; ++i)
        fake_zelk::data.push_back(run.pick(5) == 0 ? -1 : run.pick(256));
    model::ProgramOptions options;
    options.com = static_cast<model::ProgramOptions::Com>(run.pick(3));
    run.comBefore = options.com == model::ProgramOptions::Com::None ? 0 : 1;
    run.app = startVerifier(options);
    run.record = run.app->takeRecord();
    run.hardwareOk = std::count(run.record.begin(), run.record.end(), "CoInitialize S_OK") == 1 &&
                     fake_zelk::status != 8;
    if (fake_zelk::status == 8 && options.com == model::ProgramOptions::Com::None)
        run.app->key(VK_RETURN); // the failure box: the program ends
    run.verifier = run.app->find(IDD_VERIFIER);
    for (int i = 0; i < kSteps && run.app->running(); ++i) {
        run.step();
        ASSERT_NO_FATAL_FAILURE(run.checkWhileOpen()) << "after step " << i;
        ASSERT_NO_FATAL_FAILURE(run.checkRecord()) << "after step " << i;
    }
    if (run.app->running()) {
        run.app->key(VK_ESCAPE); // an About box, then the verifier
        run.app->key(VK_ESCAPE);
    }
    ASSERT_FALSE(run.app->running());
    const auto rest = run.app->takeRecord();
    run.record.insert(run.record.end(), rest.begin(), rest.end());
    ASSERT_NO_FATAL_FAILURE(run.checkRecord());
}

TEST(RandomUse, InvariantsHoldForEverySeed) {
    if (const char* one = std::getenv("VERIFIER_SEED")) {
        runSeed(static_cast<unsigned>(std::strtoul(one, nullptr, 10)));
        return;
    }
    for (unsigned seed = 1; seed <= kSeeds && !HasFatalFailure(); ++seed)
        runSeed(seed);
}

} // namespace
