#pragma once
// The own-elevation answer for tests, set directly.
#include "src/system/elevation.hpp"

namespace vorlane::system {

class FakeElevation final : public ElevationQuery {
 public:
  FakeElevation() = default;
  explicit FakeElevation(Elevation answer) : elevation(answer) {}
  [[nodiscard]] Elevation own_elevation() override { return elevation; }

  Elevation elevation = Elevation::elevated;
};

}  // namespace vorlane::system
