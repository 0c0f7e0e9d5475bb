#pragma once
// A point or direction of the game world: the board plane is x, y (one board
// cell is one unit, the board centred on the origin) and z is height.
struct Vector {
    float x = 0.0f;
    float y = 0.0f;
    float z = 0.0f;

    Vector() = default;
    Vector(float px, float py, float pz) : x(px), y(py), z(pz) {}

    bool operator==(const Vector& o) const { return x == o.x && y == o.y && z == o.z; }
    bool operator!=(const Vector& o) const { return !(*this == o); }
};
