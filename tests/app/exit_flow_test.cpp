// The road from serving to the end: every path, an exception included, leaves
// a state from which the program can still end, and no save is made twice.
#include "app/exit_flow.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

namespace {

using State = ExitFlow::State;

ExitFlow Serving() {
    ExitFlow flow;
    flow.Started();
    return flow;
}

TEST(ExitFlow, AFailedSaveIsAskedAboutUntilTheAnswerEndsTheLoop) {
    ExitFlow flow = Serving();
    std::vector<unsigned long> results = {5, 5, 0};  // two failures, then saved
    int saves = 0, questions = 0;
    EXPECT_TRUE(flow.Close([&] { return results[saves++]; },
                           [&](unsigned long) { ++questions; return SaveAnswer::Retry; }));
    EXPECT_EQ(3, saves);
    EXPECT_EQ(2, questions);
    EXPECT_EQ(State::Ending, flow.state());
    EXPECT_FALSE(flow.Destroyed());  // saved already: not again at WM_DESTROY

    ExitFlow unsaved = Serving();
    EXPECT_TRUE(unsaved.Close([] { return 5ul; }, [](unsigned long) { return SaveAnswer::EndUnsaved; }));
    EXPECT_FALSE(unsaved.Destroyed());
}

TEST(ExitFlow, KeptRunningItServesAndTakesHandOversAgain) {
    ExitFlow flow = Serving();
    bool handOverWhileAsking = true;
    EXPECT_FALSE(flow.Close([] { return 5ul; }, [&](unsigned long) {
        handOverWhileAsking = flow.AcceptsHandOver();
        return SaveAnswer::KeepRunning;
    }));
    EXPECT_FALSE(handOverWhileAsking);
    EXPECT_EQ(State::Serving, flow.state());
    EXPECT_TRUE(flow.AcceptsHandOver());
}

TEST(ExitFlow, AnExceptionLeavesItServingSoThatExitStillWorks) {
    ExitFlow flow = Serving();
    EXPECT_THROW(flow.Close([]() -> unsigned long { throw std::bad_alloc(); },
                            [](unsigned long) { return SaveAnswer::Retry; }),
                 std::bad_alloc);
    EXPECT_THROW(flow.Close([] { return 5ul; },
                            [](unsigned long) -> SaveAnswer { throw std::runtime_error("no box"); }),
                 std::runtime_error);
    EXPECT_EQ(State::Serving, flow.state());
    EXPECT_TRUE(flow.Close([] { return 0ul; }, [](unsigned long) { return SaveAnswer::Retry; }));
}

TEST(ExitFlow, ASecondExitWhileAskingAndACloseRequestMeanwhile) {
    ExitFlow flow = Serving();
    int saves = 0;
    bool secondClose = true, endNow = false;
    EXPECT_FALSE(flow.Close([&] { ++saves; return 5ul; }, [&](unsigned long) {
        // Exit again while the question is up: nothing more is saved or asked.
        secondClose = flow.Close([&] { ++saves; return 0ul; }, [](unsigned long) { return SaveAnswer::Retry; });
        // A restart manager's close request: its one save is the last.
        endNow = flow.EndNow();
        return SaveAnswer::KeepRunning;  // the box went down with the window
    }));
    EXPECT_FALSE(secondClose);
    EXPECT_TRUE(endNow);
    EXPECT_EQ(1, saves);
    EXPECT_EQ(State::Ending, flow.state());  // not back to serving
    EXPECT_FALSE(flow.AcceptsHandOver());
    EXPECT_FALSE(flow.Destroyed());
    EXPECT_FALSE(flow.EndNow());
}

TEST(ExitFlow, BeforeTheFileIsLoadedNothingIsSaved) {
    ExitFlow flow;
    int saves = 0;
    EXPECT_FALSE(flow.Close([&] { ++saves; return 0ul; }, [](unsigned long) { return SaveAnswer::Retry; }));
    EXPECT_FALSE(flow.EndNow());
    EXPECT_FALSE(flow.Destroyed());
    EXPECT_FALSE(flow.AcceptsHandOver());
    EXPECT_EQ(0, saves);
}

}  // namespace
