#include "check/card_image.hpp"

namespace {

std::string WithoutTrailingSlashes(std::string_view path) {
  while (path.ends_with('/')) {
    path.remove_suffix(1);
  }
  return std::string(path);
}

}  // namespace

CardImage::CardImage(std::string_view root, std::string_view cgi_dir)
    : root_(WithoutTrailingSlashes(root)),
      cgi_dir_(cgi_dir.empty() ? "" : WithoutTrailingSlashes(cgi_dir) + "/") {}

std::string CardImage::Resolve(std::string_view path) const {
  return (path.starts_with('/') ? root_ : cgi_dir_) + std::string(path);
}
