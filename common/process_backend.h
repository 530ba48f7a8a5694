// What the two halves of the process facet share: the environment is one
// table per process, read and written from several threads, so every access
// on either platform goes through this one lock.
#pragma once

#include <mutex>

namespace zep {

std::mutex& EnvironmentLock();

}  // namespace zep
