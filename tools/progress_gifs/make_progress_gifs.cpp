// Writes the progress bar images of the card's web installation:
//   make_progress_gifs <folder>  ->  <folder>/progressbar.gif, progressbar-done.gif
#include <exception>
#include <filesystem>
#include <fstream>
#include <iostream>

#include "progress_gifs/gif_writer.hpp"
#include "progress_gifs/progress_bars.hpp"

namespace {

bool WriteImage(const std::filesystem::path& path, const gif::Image& image) {
  const std::string bytes = gif::Encode(image);
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out) {
    std::cerr << "make_progress_gifs: cannot write " << path << "\n";
    return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: make_progress_gifs <folder>\n";
    return 2;
  }
  try {
    const std::filesystem::path folder = argv[1];
    std::filesystem::create_directories(folder);
    const bool written = WriteImage(folder / "progressbar.gif", progress_bars::Running()) &&
                         WriteImage(folder / "progressbar-done.gif", progress_bars::Done());
    return written ? 0 : 1;
  } catch (const std::exception& error) {
    std::cerr << "make_progress_gifs: " << error.what() << "\n";
    return 1;
  }
}
