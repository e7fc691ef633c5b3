// Loading a series of frames on several cores while the commands still see
// them arrive one by one, in order.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "untBitmap.h"

// Loads paths[i] for i in order and appends each bitmap to out, calling
// loaded() on the calling thread after each append (where a window lets
// pending messages through). Later files may already be loading on other
// threads meanwhile. If a file cannot be loaded, the frames before it stay
// appended and its error is thrown; nothing after it is appended. When
// loaded() returns false (a stop) nothing more is appended either, and the
// loads under way are waited for and dropped. threads: 0 uses every core.
void LoadBitmapsInOrder(const std::vector<std::string>& paths, std::vector<std::unique_ptr<TBitmap>>& out,
                        unsigned threads, const std::function<bool()>& loaded);
