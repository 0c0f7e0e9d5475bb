#pragma once
/// @file
/// A point or direction of the game world.

/// A point or direction of the game world: the board plane is x, y (one
/// board cell is one unit, the board centred on the origin) and z is height.
struct Vector {
    float x = 0.0f;  ///< Across the board, to the right.
    float y = 0.0f;  ///< Along the board, to the top.
    float z = 0.0f;  ///< Height.

    Vector() = default;
    /// The point (px, py, pz).
    Vector(float px, float py, float pz) : x(px), y(py), z(pz) {}

    /// Exactly equal.
    bool operator==(const Vector& o) const { return x == o.x && y == o.y && z == o.z; }
    /// Not exactly equal.
    bool operator!=(const Vector& o) const { return !(*this == o); }
};
