// Bounds of what the physics channels hand to ODE. ODE stops the process on undefined
// values and on coordinates its hash space cannot index (about 2^31 cells: 2.7e8 units for
// the smallest shapes, whose cells are 1/8 unit wide), and a value from a damaged file or
// a careless caller may be anything. Sane scenes lie far inside these bounds.
#pragma once

#include <cmath>

namespace ode_bounds {

inline constexpr double kMaxCoordinate = 1e7;  // positions of bodies and geometries, per axis
inline constexpr double kMaxLength = 1e4;      // sizes, radii and offsets of shapes
inline constexpr double kMinLength = 1e-3;     // thinnest side or radius a shape collides with
inline constexpr double kMaxMass = 1e9;        // mass of one shape
inline constexpr double kMinBodyMass = 1e-3;   // mass of a body that has any
inline constexpr double kMaxSpeed = 1e6;       // units/s, and rad/s per axis
inline constexpr double kMaxStep = 10.0;       // seconds simulated by one world step
inline constexpr double kMaxGravity = 1e6;     // per axis
inline constexpr double kMaxSurface = 1e6;     // friction, slip, bounce velocity and CFM

// v held within lo..hi; an undefined v (NaN, infinity) gives `undefined`.
inline double Clamp(double v, double lo, double hi, double undefined = 0.0) {
    if (!std::isfinite(v)) return undefined;
    return v < lo ? lo : v > hi ? hi : v;
}

}  // namespace ode_bounds
