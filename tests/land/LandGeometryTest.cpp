// Region geometry, time windows, positioning algorithms and the emulated
// volume, against values worked out by hand from the rules they implement
// (the algorithm figures with python3 floating point, as noted per case).
#include <gtest/gtest.h>

#include <cmath>

#include "tests/land/LandFixture.h"

namespace {

LandSound region(float width, float height, Vector centre) {
    LandSound s;
    s.regionWidth = width;
    s.regionHeight = height;
    s.position = centre;
    return s;
}

void expectNear(const Vector& actual, const Vector& expected, float tolerance = 1e-5f) {
    EXPECT_NEAR(actual.x, expected.x, tolerance);
    EXPECT_NEAR(actual.y, expected.y, tolerance);
    EXPECT_NEAR(actual.z, expected.z, tolerance);
}

struct Geometry : landtest::LandTest {};

}  // namespace

TEST_F(Geometry, CellsMapToTheirCentresOnATenByEightBoard) {
    Probe land;
    land.initialize(&host.view, &host.board);
    // x + 0.5 - 10/2 and 8/2 - (y + 0.5)
    EXPECT_EQ(land.convertGameBoardCoordinatesToAbsolute(0, 0), Vector(-4.5f, 3.5f, 0.0f));
    EXPECT_EQ(land.convertGameBoardCoordinatesToAbsolute(9, 7), Vector(4.5f, -3.5f, 0.0f));
    EXPECT_EQ(land.convertGameBoardCoordinatesToAbsolute(3, 2), Vector(-1.5f, 1.5f, 0.0f));
}

TEST(LandRegion, InsideIncludesTheWidenedBoundary) {
    const LandSound cell = region(1, 1, Vector(0, 0, 0));
    struct Case {
        float margin;
        Vector point;
        bool inside;
    } cases[] = {
        {0.0f, Vector(0.5f, -0.5f, 9.0f), true},  // a corner; height plays no part
        {0.0f, Vector(0.5001f, 0.0f, 0.0f), false},
        {0.0f, Vector(0.0f, -0.5001f, 0.0f), false},
        {0.25f, Vector(0.75f, 0.75f, 0.0f), true},
        {0.25f, Vector(-0.76f, 0.0f, 0.0f), false},
        {-0.5f, Vector(0.0f, 0.0f, 0.0f), true},  // shrunk to a point, which is inside
        {-0.6f, Vector(0.0f, 0.0f, 0.0f), false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Probe::isInside(&cell, c.margin, c.point), c.inside) << c.margin << " " << c.point.x;
}

TEST(LandRegion, NearestBoundaryPointFollowsTheEdgeOrderAndKeepsTheEarlierEdgeOnATie) {
    const LandSound square = region(2, 2, Vector(0, 0, 3));
    // Outside beside the right edge, and diagonally past the top right corner.
    EXPECT_EQ(Probe::getNearbyRectanglePoint(&square, 0, Vector(5, 0.5f, 0)), Vector(1, 0.5f, 3));
    EXPECT_EQ(Probe::getNearbyRectanglePoint(&square, 0, Vector(5, 5, 0)), Vector(1, 1, 3));
    // Below the bottom left corner: the bottom edge measures 8, the left 16.
    EXPECT_EQ(Probe::getNearbyRectanglePoint(&square, 0, Vector(-3, -3, 0)), Vector(-1, -1, 3));
    // (0.5, 0.5): right and top both measure 0.25; right comes first.
    EXPECT_EQ(Probe::getNearbyRectanglePoint(&square, 0, Vector(0.5f, 0.5f, 0)), Vector(1, 0.5f, 3));
    // The centre: all four measure 1; left comes first.
    EXPECT_EQ(Probe::getNearbyRectanglePoint(&square, 0, Vector(0, 0, 0)), Vector(-1, 0, 3));
    // A margin widens every side.
    EXPECT_EQ(Probe::getNearbyRectanglePoint(&square, 1, Vector(5, 0, 0)), Vector(2, 0, 3));
    // No width and no margin: the degenerate edges give their start corner.
    const LandSound line = region(0, 2, Vector(1, 1, 0));
    EXPECT_EQ(Probe::getNearbyRectanglePoint(&line, 0, Vector(4, 1.5f, 0)), Vector(1, 1.5f, 0));
    const LandSound dot = region(0, 0, Vector(1, 1, 2));
    EXPECT_EQ(Probe::getNearbyRectanglePoint(&dot, 0, Vector(4, 5, 0)), Vector(1, 1, 2));
}

TEST(LandRegion, ProjectionLeavesThroughTheSideTheCentreLineCrosses) {
    const LandSound square = region(2, 2, Vector(0, 0, 3));
    EXPECT_EQ(Probe::projectToRectangle(&square, 0, Vector(4, 1, 0)), Vector(1, 0.25f, 3));
    EXPECT_EQ(Probe::projectToRectangle(&square, 0, Vector(1, 4, 0)), Vector(0.25f, 1, 3));
    EXPECT_EQ(Probe::projectToRectangle(&square, 0, Vector(-2, -2, 0)), Vector(-1, -1, 3));  // the diagonal: top or bottom
    const Vector straightUp = Probe::projectToRectangle(&square, 0, Vector(0, 3, 0));  // dx 0 stands for 1e-10
    EXPECT_NEAR(straightUp.x, 0.0f, 1e-9f);
    EXPECT_EQ(straightUp.y, 1.0f);
}

TEST_F(Geometry, TimeWindowsWrapPastMidnightAndFadeAtTheirEnds) {
    Probe land;
    ready(land, "fade = 1.0;\n"
                "night = { probability = 1.0; soundName = \"crickets\"; beginHour = 22.0; endHour = 6.0; };\n"
                "short = { probability = 1.0; soundName = \"crickets\"; beginHour = 8.0; endHour = 9.0; };\n"
                "day = { probability = 1.0; soundName = \"crickets\"; beginHour = 7.0; endHour = 7.0; };\n"
                "randomNight = { probability = 0.5; soundName = \"gull\"; beginHour = 22.0; endHour = 6.0; };\n");
    // Fader by hand: fade-in 1 - 0.8 (1 - (t - b)), fade-out 1 - 0.8 (t - (e - 1)), t in hours.
    struct Case {
        const char* source;
        int hour, minute;
        bool inWindow;
        float fader;  // the fader volume afterwards
    } cases[] = {
        {"night", 21, 59, false, 1.0f}, {"night", 22, 0, true, 0.2f},  {"night", 22, 30, true, 0.6f},
        {"night", 23, 0, true, 1.0f},   {"night", 2, 0, true, 1.0f},   {"night", 5, 30, true, 0.6f},
        {"night", 5, 59, true, 1.0f - 0.8f * (59.0f / 60.0f)},        {"night", 6, 0, false, 1.0f - 0.8f * (59.0f / 60.0f)},
        {"short", 7, 59, false, 1.0f},  {"short", 8, 0, true, 1.0f},   {"short", 8, 59, true, 1.0f},
        {"short", 9, 0, false, 1.0f},   {"day", 0, 0, true, 1.0f},     {"day", 13, 13, true, 1.0f},
    };
    for (const Case& c : cases) {
        LandSound* s = land.source(c.source);
        DayTime clock = (3 * 24 + c.hour) * 60 + c.minute;  // the fourth day
        EXPECT_EQ(land.updateTime(s, clock), c.inWindow) << c.source << " " << c.hour << ":" << c.minute;
        EXPECT_NEAR(s->effect->getVolume(land.faderPassword), c.fader, 1e-6f) << c.source << " " << c.hour << ":" << c.minute;
    }
    // A random source only answers; its fader stays.
    LandSound* random = land.source("randomNight");
    DayTime late = 23 * 60, noon = 12 * 60, beforeZero = -30;  // -30: 23:30 the day before
    EXPECT_TRUE(land.updateTime(random, late));
    EXPECT_FALSE(land.updateTime(random, noon));
    EXPECT_TRUE(land.updateTime(random, beforeZero));
    EXPECT_EQ(random->effect->getVolume(land.faderPassword), 1.0f);
}

TEST_F(Geometry, EachPositioningAlgorithmMovesTheBasePointAsItsRuleSays) {
    // A 2 x 2 region centred at (0, 0) with the sound at height 1, heard 10
    // around; the listener at (3, 0, 0). The base point is the nearest point
    // of the right edge, (1, 0, 1): dist = sqrt(5), u = (-2, 0, 1) / sqrt(5).
    // Expected points from python3: pos + u * r for the stretched or thrown r.
    struct Case {
        const char* tuning;
        Vector expected;
    } cases[] = {
        {"algorithm = 0.0;", Vector(1, 0, 1)},
        {"algorithm = 7.0;", Vector(1, 0, 1)},
        {"algorithm = -1.5;", Vector(1, 0, 1)},
        {"algorithm = 1.9; throwRadius = 5.0;", Vector(-2, 0, 1)},  // plane: 3 - 5, z back to 1
        {"algorithm = 2.0; throwRadius = 5.0;", Vector(-1.4721360f, 0, 2.2360680f)},
        {"algorithm = 3.0; expcoefficient = 2.0; expsqsigma = 8.0;", Vector(1, 0, -1.2130613f)},  // -2 e^(-4/8)
        {"algorithm = 4.0; expcoefficient = 2.0; expsqsigma = 8.0;", Vector(0.0424952f, 0, 1.4787524f)},
        {"algorithm = 5.0; adaptDistance1 = 1.0; adaptCoefficient = 0.5;", Vector(0.4472136f, 0, 1.2763932f)},
        {"algorithm = 6.0; adaptDistance1 = 1.0; adaptCoefficient = 0.5;", Vector(0.3167184f, 0, 1.3416408f)},
        // Out of range tuning: e^(-d/0) is 0 here, e^(-0/0) would not be; the base point stays.
        {"algorithm = 3.0; expcoefficient = 2.0; expsqsigma = 0.0;", Vector(1, 0, 0)},
    };
    for (const Case& c : cases) {
        tuning(c.tuning);
        Probe land;
        ready(land, "s = { regionWidth = 2.0; regionHeight = 2.0; powerRadius = 1.0; threshold = 10.0;\n"
                    "  probability = 1.0; soundName = \"surf\"; z = 1.0; };\n");
        LandSound* s = land.source("s");
        ASSERT_TRUE(land.updateCoordinates(s, Vector(3, 0, 0))) << c.tuning;
        expectNear(s->currentPosition, c.expected);
        expectNear(s->effect->getPosition(), c.expected);
        LandInsonificator::resetSettings();
    }
}

TEST_F(Geometry, ThrowingNeedsADistanceAndNothingMovesOutsideTheThreshold) {
    tuning("algorithm = 1.0; throwRadius = 5.0;");
    Probe land;
    ready(land, "s = { regionWidth = 2.0; regionHeight = 2.0; powerRadius = 1.0; threshold = 1.0;\n"
                "  probability = 1.0; soundName = \"surf\"; z = 2.0; };\n");
    LandSound* s = land.source("s");
    ASSERT_TRUE(land.updateCoordinates(s, Vector(0.25f, -0.5f, 7)));
    EXPECT_EQ(s->currentPosition, Vector(0.25f, -0.5f, 2));  // inside: no direction to throw in
    EXPECT_FALSE(land.updateCoordinates(s, Vector(2.01f, 0, 0)));
    EXPECT_EQ(s->currentPosition, Vector(0.25f, -0.5f, 2));
}

TEST_F(Geometry, EmulatedVolumeIsPowerRadiusOverDistanceAtMostOne) {
    Probe land;
    ready(land, "s = { powerRadius = 2.0; probability = 1.0; soundName = \"surf\"; x = 1.0; z = 0.0; };\n"
                "bad = { powerRadius = -2.0; probability = 1.0; soundName = \"surf\"; };\n");
    LandSound* s = land.source("s");
    EXPECT_EQ(s->currentPosition, Vector(1, 0, 0));  // the effect set-up records the centre
    EXPECT_FLOAT_EQ(land.getEmulatedVolume(s, Vector(1, 4, 0)), 0.5f);   // 2 x powerRadius away
    EXPECT_FLOAT_EQ(land.getEmulatedVolume(s, Vector(1, 0, 1)), 1.0f);   // half of it
    EXPECT_FLOAT_EQ(land.getEmulatedVolume(s, Vector(1, 0, 0)), 1.0f);   // on it
    EXPECT_FLOAT_EQ(land.getEmulatedVolume(s, Vector(4, 4, 0)), 0.4f);   // 2 / 5
    EXPECT_EQ(land.getEmulatedVolume(land.source("bad"), Vector(3, 0, 0)), 0.0f);  // never negative
}
