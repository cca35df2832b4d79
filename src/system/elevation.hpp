#pragma once

namespace vorlane::system {

// Every caller that needs administrator rights treats unknown like not elevated.
enum class [[nodiscard]] Elevation { elevated, not_elevated, unknown };

// The running program's own token: asked by every procedure that needs administrator rights,
// answered by one Windows adapter and one fake.
class ElevationQuery {
 public:
  virtual ~ElevationQuery() = default;
  [[nodiscard]] virtual Elevation own_elevation() = 0;
};

}  // namespace vorlane::system
