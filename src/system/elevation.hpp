#pragma once

namespace vorlane {

// Every caller that needs administrator rights treats unknown like not elevated.
enum class Elevation { elevated, not_elevated, unknown };

}  // namespace vorlane
