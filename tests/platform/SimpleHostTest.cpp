// The ready-made host objects: set in the exported pointers for the
// SimpleHost's life (a pointer the game set afterwards stays the game's),
// and each tells its listeners what the library listens for.
#include <gtest/gtest.h>

#include <vector>

#include "interfaces/SimpleHost.h"

namespace {

struct Heard : RenderDriverListener, GameBoardListener, RenderWindowListener {
    int frames = 0;
    std::vector<int> changes;  // x, y, old, new for each change
    std::vector<bool> focus;
    void initView(RenderView*) override { ++frames; }
    void afterChangeLandscapeSubtype(Point2D cell, Landscape::Subtype from, Landscape::Subtype to) override {
        changes.insert(changes.end(), {static_cast<int>(cell.x), static_cast<int>(cell.y), from, to});
    }
    void getFocus() override { focus.push_back(true); }
    void lostFocus() override { focus.push_back(false); }
};

struct OwnWindow : RenderWindow {
    bool hasFocus() override { return false; }
    void registerListener(RenderWindowListener*) override {}
    void unregisterListener(RenderWindowListener*) override {}
};

}  // namespace

TEST(SimpleHost, ItsObjectsAnswerAndTellTheirListeners) {
    Heard heard;
    {
        SimpleHost host(4, 3);
        ASSERT_NE(thePausedRenderTimer, nullptr);
        ASSERT_NE(landcamera::theManager, nullptr);
        ASSERT_NE(ZULUI_INTERFACE, nullptr);
        ASSERT_NE(theRenderWindow, nullptr);
        EXPECT_EQ(host.board()->getWidth(), 4u);
        EXPECT_EQ(host.board()->getHeight(), 3u);
        EXPECT_TRUE(theRenderWindow->hasFocus());
        EXPECT_EQ(thePausedRenderTimer->getTime(), 0.0f);

        host.view()->registerListener(&heard);
        host.board()->registerListener(&heard, LISTENER_PRIORITY_DEFAULT);
        theRenderWindow->registerListener(&heard);

        host.setListener(Vector(1.0f, 2.0f, 3.0f), Vector(1.0f, 0.0f, 0.0f));
        host.setDayTime(600);
        host.frame(0.5f);
        host.frame(0.25f);
        landcamera::Camera* camera = landcamera::theManager->getCurrentCamera();
        ASSERT_NE(camera, nullptr);
        EXPECT_EQ(camera->getPosition(), Vector(1.0f, 2.0f, 3.0f));
        EXPECT_EQ(camera->getFront(), Vector(1.0f, 0.0f, 0.0f));
        EXPECT_EQ(camera->getTop(), Vector(0.0f, 0.0f, 1.0f));
        EXPECT_EQ(ZULUI_INTERFACE->getDayTime(), 600);
        EXPECT_EQ(thePausedRenderTimer->getTime(), 0.75f);
        EXPECT_EQ(heard.frames, 2);

        host.setSubtype(Point2D{2, 1}, 3);
        host.setSubtype(Point2D{2, 1}, 4);
        host.setSubtype(Point2D{4, 0}, 1);  // outside the board: ignored
        EXPECT_EQ(heard.changes, (std::vector<int>{2, 1, 0, 3, 2, 1, 3, 4}));

        host.setFocus(false);
        host.setFocus(false);  // no change, nothing told
        EXPECT_FALSE(theRenderWindow->hasFocus());
        host.setFocus(true);
        EXPECT_EQ(heard.focus, (std::vector<bool>{false, true}));

        // Unregistered listeners hear nothing more.
        host.view()->unregisterListener(&heard);
        host.board()->unregisterListener(&heard);
        theRenderWindow->unregisterListener(&heard);
        host.frame(0.1f);
        host.setSubtype(Point2D{0, 0}, 2);
        host.setFocus(false);
        EXPECT_EQ(heard.frames, 2);
        EXPECT_EQ(heard.changes.size(), 8u);
        EXPECT_EQ(heard.focus.size(), 2u);
    }
    EXPECT_EQ(thePausedRenderTimer, nullptr);
    EXPECT_EQ(landcamera::theManager, nullptr);
    EXPECT_EQ(ZULUI_INTERFACE, nullptr);
    EXPECT_EQ(theRenderWindow, nullptr);
}

TEST(SimpleHost, APointerTheGameSetsAfterItStaysTheGames) {
    OwnWindow own;
    {
        SimpleHost host;
        theRenderWindow = &own;
    }
    EXPECT_EQ(theRenderWindow, &own);
    EXPECT_EQ(thePausedRenderTimer, nullptr);
    theRenderWindow = nullptr;
}
