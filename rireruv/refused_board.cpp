// The board whose set-up fails, and why: a setting refused (decided once, where the board is
// chosen, rather than by each board), or a receiver the build cannot read. The program may still
// poll it, and frees it as any board; both are traced as any board's.
#include "rireruv/remote_board.h"
#include "rireruv/report.h"

namespace rireruv {

namespace {

class RefusedBoard : public RemoteBoard {
  public:
    RefusedBoard(const Settings& settings, std::vector<std::string> reasons)
        : m_trace(settings.tracePath), m_reasons(std::move(reasons)) {}
    int init() override { return failInit(m_trace, m_reasons); }
    int getRemoteData(unsigned char* /*pbyData*/) override {
        m_trace.remoteData(nullptr);
        return 1;
    }
    int free() override {
        m_trace.free();
        return 0;
    }

  private:
    Trace m_trace;
    std::vector<std::string> m_reasons;
};

} // namespace

std::unique_ptr<RemoteBoard> makeRefusedBoard(const Settings& settings,
                                              std::vector<std::string> reasons) {
    return std::make_unique<RefusedBoard>(settings, std::move(reasons));
}

} // namespace rireruv
