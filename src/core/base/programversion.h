#pragma once

namespace fenlowick {

/// The version --version, the About box and the package show: the project's version, with
/// "+git<commits>.<revision>" after it in a build from a git checkout (0.1.0+git250.77aee01).
/// Only the programs link it, so that a commit relinks them and nothing else.
const char* programVersion();

} // namespace fenlowick
