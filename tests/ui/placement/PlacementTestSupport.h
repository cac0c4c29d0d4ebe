#pragma once
// The screen of the placement tests, and the panel that the desktop keeps
// along its bottom edge.

#include <QRect>

namespace lf::test {

inline constexpr QRect kPlacementScreen(0, 0, 1600, 1000);
inline constexpr int kPanelHeight = 40;

}  // namespace lf::test
