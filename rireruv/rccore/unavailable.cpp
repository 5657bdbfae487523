// The Windows build has no rc-core: a real card on Windows brings its vendor's rireruv.dll.
// This board only says so, so that RIRERUV_DEVICE never silently falls back to a simulation.
#include "rireruv/remote_board.h"

#include "rireruv/report.h"

namespace rireruv {

namespace {

class UnavailableBoard : public RemoteBoard {
  public:
    explicit UnavailableBoard(const Settings& settings)
        : m_settings(settings), m_trace(settings.tracePath) {}
    int init() override;
    // Its init always fails; the program may still poll it, and frees it as any board.
    int getRemoteData(unsigned char* /*pbyData*/) override {
        m_trace.remoteData(nullptr);
        return 1;
    }
    int free() override {
        m_trace.free();
        return 0;
    }

  private:
    Settings m_settings;
    Trace m_trace;
};

int UnavailableBoard::init() {
    if (!m_settings.errors.empty())
        return failInit(m_trace, m_settings.errors);
    return failInit(m_trace, "RIRERUV_DEVICE=" + shown(m_settings.device) +
                                 ": real receivers are read only by the Linux library; on "
                                 "Windows a real card comes with its vendor's rireruv.dll. "
                                 "Unset RIRERUV_DEVICE for the simulated board");
}

} // namespace

bool receiversReadHere() {
    return false;
}

std::unique_ptr<RemoteBoard> makeReceiverBoard(const Settings& settings) {
    return std::make_unique<UnavailableBoard>(settings);
}

} // namespace rireruv
