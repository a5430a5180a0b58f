#include "check/card_image.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <deque>
#include <vector>

namespace {

// As the kernel allows before it gives up on a path.
constexpr int kLinkLimit = 40;

std::deque<std::string> Components(std::string_view path) {
  std::deque<std::string> components;
  while (!path.empty()) {
    const std::size_t slash = path.find('/');
    const std::string_view component = path.substr(0, slash);
    if (!component.empty() && component != ".") {
      components.emplace_back(component);
    }
    path.remove_prefix(slash == std::string_view::npos ? path.size() : slash + 1);
  }
  return components;
}

std::string Joined(const std::string& root, const std::vector<std::string>& components) {
  std::string path = root;
  for (const std::string& component : components) {
    path.append("/").append(component);
  }
  return path.empty() ? "/" : path;
}

// `path` made absolute and freed of "." and "..", without looking at links.
std::string Lexical(std::string_view path) {
  std::string absolute;
  if (!path.starts_with('/')) {
    std::array<char, 4096> here{};
    if (::getcwd(here.data(), here.size()) != nullptr) {
      absolute = here.data();
    }
    absolute.push_back('/');
  }
  absolute.append(path);
  std::vector<std::string> kept;
  for (std::string& component : Components(absolute)) {
    if (component != "..") {
      kept.push_back(std::move(component));
    } else if (!kept.empty()) {
      kept.pop_back();
    }
  }
  return Joined("", kept);
}

}  // namespace

CardImage::CardImage(std::string_view root, std::string_view cgi_dir) {
  shown_root_ = root;
  while (shown_root_.ends_with('/')) {
    shown_root_.pop_back();
  }
  root_ = Lexical(root);
  if (root_ == "/") {
    root_.clear();
  }
  cgi_dir_ = Lexical(cgi_dir.empty() ? "." : cgi_dir);
  if (!cgi_dir_.ends_with('/')) {
    cgi_dir_.push_back('/');
  }
}

std::optional<std::string> CardImage::Locate(std::string_view card_path) const {
  std::deque<std::string> left = Components(card_path);
  std::vector<std::string> done;
  int links = 0;
  while (!left.empty()) {
    std::string component = std::move(left.front());
    left.pop_front();
    if (component == "..") {
      if (!done.empty()) {
        done.pop_back();
      }
      continue;
    }
    done.push_back(std::move(component));
    const std::string here = Joined(root_, done);
    struct stat status {};
    if (::lstat(here.c_str(), &status) != 0 || !S_ISLNK(status.st_mode)) {
      continue;  // what is missing is reported where the file is looked at
    }
    if (++links > kLinkLimit) {
      return std::nullopt;
    }
    std::string target(static_cast<std::size_t>(status.st_size) + 1, '\0');
    const ssize_t length = ::readlink(here.c_str(), target.data(), target.size());
    if (length < 0 || static_cast<std::size_t>(length) >= target.size()) {
      return std::nullopt;  // changed while it was read
    }
    target.resize(static_cast<std::size_t>(length));
    done.pop_back();
    if (target.starts_with('/')) {
      done.clear();
    }
    std::deque<std::string> rest = Components(target);
    left.insert(left.begin(), rest.begin(), rest.end());
  }
  return Joined(root_, done);
}

std::optional<std::string> CardImage::Resolve(std::string_view path) const {
  if (path.starts_with('/')) {
    return Locate(path);
  }
  const std::string lexical = Lexical(cgi_dir_ + std::string(path));
  if (!root_.empty() && lexical != root_ && !lexical.starts_with(root_ + "/")) {
    return std::nullopt;
  }
  return Locate(std::string_view(lexical).substr(root_.size()));
}
