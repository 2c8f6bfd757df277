// The worker pool against a scripted worker: results in the order of the drawings whatever order
// the workers finish in, a worker that dies fails only its drawing, and a stop hands out no more.

#include <gtest/gtest.h>

#include <QCoreApplication>

#include <sstream>

#include "app/plot/worker_pool.h"
#include "batch/run_log.h"
#include "tests/support/temp_folder.h"

namespace kw {
namespace {

// A worker as the pool sees one: a drawing per line in, its records, what it said and #done
// out. Drawings named slow* take longer, so that the next one finishes first; crash* ends the
// process, as a drawing that brings the built-in CAD down would.
constexpr const char* kScriptedWorker = R"(
while IFS= read -r line; do
    pages=${line%%	*}
    drawing=${line#*	\"}
    drawing=${drawing%\"}
    case "$drawing" in
    crash*) printf '{"drawing":"%s","page":1,"status":"plotted"}\n' "$drawing"; exit 3 ;;
    slow*) sleep 0.3 ;;
    esac
    printf '{"drawing":"%s","page":1,"status":"plotted","error":"%s"}\n' "$drawing" "$pages"
    printf '#err "said of %s\\n"\n#done\n' "$drawing"
done
)";

class WorkerPoolTest : public ::testing::Test {
protected:
    void SetUp() override { m_folder.Write("worker.sh", kScriptedWorker); }

    // Runs the jobs; each result as "index drawing:status,...|what it said".
    std::vector<std::string> Run(const std::vector<WorkerJob>& jobs, int size,
                                 const std::function<bool(std::size_t)>& stopAfter = {}) {
        // The pool adds --worker to the arguments: the shell takes it as $0.
        WorkerPool pool("/bin/sh", {"-c", std::string(". '") + m_folder.File("worker.sh") + "'"},
                        size);
        std::vector<std::string> results;
        std::size_t emitted = 0;
        pool.Run(
            jobs,
            [&](std::size_t index, WorkerResult result) {
                std::ostringstream line;
                line << index << ' ';
                for (const PageRecord& record : result.records) {
                    line << record.drawing << ':' << StatusName(record.status)
                         << (record.error.empty() ? "" : "(" + record.error + ")") << ',';
                }
                line << '|' << result.err;
                results.push_back(line.str());
                emitted = index + 1;
            },
            [&] { return stopAfter && stopAfter(emitted); });
        return results;
    }

    test::TempFolder m_folder;
};

TEST_F(WorkerPoolTest, ResultsComeInTheDrawingsOrderAndADeadWorkerFailsOnlyItsDrawing) {
    const std::vector<WorkerJob> jobs = {
        {"slow-a.dxf", {}}, {"b.dxf", {2, 5}}, {"crash.dxf", {}},
        {"c.dxf", {}},      {"d.dxf", {}},     {"line\nfeed\t.dxf", {}},
    };
    const std::vector<std::string> results = Run(jobs, 2);
    ASSERT_EQ(results.size(), 6u);
    EXPECT_EQ(results[0], "0 slow-a.dxf:plotted(*),|said of slow-a.dxf\n");
    EXPECT_EQ(results[1], "1 b.dxf:plotted(2,5),|said of b.dxf\n");
    // What the dead worker reported stays; its drawing fails with what happened to it.
    EXPECT_EQ(results[2], "2 crash.dxf:plotted,crash.dxf:failed(操作不当或其它未知错误：51 — the "
                          "worker ended with status 3 while plotting this drawing),|");
    EXPECT_EQ(results[3], "3 c.dxf:plotted(*),|said of c.dxf\n");
    EXPECT_EQ(results[4], "4 d.dxf:plotted(*),|said of d.dxf\n");
    // A path's line feed or tab does not break the worker's lines.
    EXPECT_EQ(results[5], "5 line\nfeed\t.dxf:plotted(*),|said of line\nfeed\t.dxf\n");
}

TEST_F(WorkerPoolTest, AfterAStopNoDrawingIsHandedOutAndTheRestComeBackEmpty) {
    const std::vector<WorkerJob> jobs = {
        {"a.dxf", {}}, {"b.dxf", {}}, {"c.dxf", {}}, {"d.dxf", {}}, {"e.dxf", {}}};
    const std::vector<std::string> results =
        Run(jobs, 1, [](std::size_t emitted) { return emitted >= 2; });
    ASSERT_EQ(results.size(), 5u);
    EXPECT_EQ(results[1], "1 b.dxf:plotted(*),|said of b.dxf\n");
    EXPECT_EQ(results[3], "3 |");
    EXPECT_EQ(results[4], "4 |");
}

} // namespace
} // namespace kw

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
