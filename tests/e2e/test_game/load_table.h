// The properties a load run asks for: names and values of sizes spread from 0
// to the largest text the channel carries, each name with its own value, so
// that a reply for the wrong name or a byte out of place shows. The game and
// the side that writes the properties make them from the same rules.
#pragma once

#include <algorithm>
#include <cstddef>
#include <string>
#include <vector>

namespace testgame {

// 0, 1, and every power of two with its neighbours, up to 65,532.
inline const std::vector<std::size_t>& LoadTextSizes() {
  static const std::vector<std::size_t> sizes = [] {
    std::vector<std::size_t> all = {0, 65531, 65532};
    for (std::size_t power = 1; power <= 32768; power *= 2) {
      all.push_back(power - 1);
      all.push_back(power);
      all.push_back(power + 1);
    }
    std::sort(all.begin(), all.end());
    all.erase(std::unique(all.begin(), all.end()), all.end());
    return all;
  }();
  return sizes;
}

// Entry `index` of the table: its name has the index'th size, its value the
// index'th size from the other end, so long names meet short values. Names
// start with a letter and the index, so no two are alike; the empty name is
// left out (entry 0's name has one byte).
inline std::string LoadName(std::size_t index) {
  const std::size_t size = std::max<std::size_t>(LoadTextSizes()[index], 1);
  if (size == 1) return std::string(1, static_cast<char>('a' + index));
  std::string name = "N" + std::to_string(index) + "_";
  name.resize(size, 'n');  // cuts the prefix of the shortest names, which stay unlike
  return name;
}

inline std::string LoadValue(std::size_t index) {
  const std::vector<std::size_t>& sizes = LoadTextSizes();
  const std::size_t size = sizes[sizes.size() - 1 - index];
  std::string value(size, '\0');
  // Letters and digits that shift with the entry, so two values never agree.
  for (std::size_t at = 0; at < size; ++at) {
    value[at] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789"[(at * 7 + index) % 62];
  }
  return value;
}

}  // namespace testgame
