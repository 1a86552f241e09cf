// Bounds of what the physics channels hand to ODE. ODE stops the process on undefined
// values, on coordinates its hash space cannot index (about 2^31 cells: 2.7e8 units for
// the smallest shapes, whose cells are 1/8 unit wide) and when its solver breaks down on a
// badly conditioned body, and a value from a damaged file or a careless caller may be
// anything. Each bound below is there because a value beyond it stopped the process; sane
// scenes lie far inside them.
#pragma once

#include <cmath>

namespace ode_bounds {

inline constexpr double kMaxCoordinate = 1e7;  // positions of bodies and geometries, per axis
// Sizes, radii and offsets of static shapes are not bounded beyond the largest float: a
// ground 1e6 wide is 1e6 wide, and static boxes up to the largest float under resting
// bodies never stopped the process (LargeShapes.NoStaticSizeStopsTheProcess). Their
// placement is held within kMaxCoordinate, and a rotation too large to normalise leaves a
// shape its own.
inline constexpr double kMaxStaticLength = 3.4028234663852886e38;
// Sizes, radii and offsets of the shapes of a dynamic body, which make its mass and
// inertia: beyond 1e4, damaged records made ODE's solver break down several times as often
// in 30,000 loads.
inline constexpr double kMaxDynamicLength = 1e4;
// Thinnest side of a box, as a share of its longest: a rod 1e6 long and 1e-3 thick gave
// contacts on which ODE's step failed.
inline constexpr double kMinAspect = 1e-7;
inline constexpr double kMinLength = 1e-3;     // thinnest side or radius a shape collides with
inline constexpr double kMaxMass = 1e9;        // mass of one shape
// Mass of a body that has any: at 1e-8 ODE's solver breaks down on a box resting on the
// ground.
inline constexpr double kMinBodyMass = 1e-6;
inline constexpr double kMaxSpeed = 1e6;       // units/s, and rad/s per axis
inline constexpr double kMaxStep = 10.0;       // seconds simulated by one world step
inline constexpr double kMaxGravity = 1e6;     // per axis
// Slip of a contact (ODE takes it as the friction rows' CFM): at 1e9 ODE's solver breaks
// down. An infinite slip saturates here.
inline constexpr double kMaxSlip = 1e6;
// Restitution of a contact: a bounce of 3e38 makes the step's velocities overflow. Far
// above any useful value (1 is elastic, above 1 adds energy).
inline constexpr double kMaxBounce = 1e3;

// v held within lo..hi; an undefined v (NaN, infinity) gives `undefined`.
inline double Clamp(double v, double lo, double hi, double undefined = 0.0) {
    if (!std::isfinite(v)) return undefined;
    return v < lo ? lo : v > hi ? hi : v;
}

}  // namespace ode_bounds
