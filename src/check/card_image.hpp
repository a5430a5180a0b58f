#pragma once

#include <optional>
#include <string>
#include <string_view>

// Where the checker finds a card's files: the card's root folder (a card
// image being built, or "/" on the card itself) and the folder the program
// runs in, from which it opens the relative paths of param.xml.
//
// An image may come from anyone, so every path of it is resolved inside the
// root, one component after the other, as the card itself would resolve it:
// a link's absolute target starts again at the root, ".." never climbs above
// it. No file outside the image is ever read or reported on.
class CardImage {
 public:
  CardImage(std::string_view root, std::string_view cgi_dir);

  // A path of the card itself, such as "/brix/etc/param.xml", as the report
  // names it.
  std::string OnCard(std::string_view card_path) const {
    return shown_root_ + std::string(card_path);
  }
  // Where that path leads in the image; nothing when its links go round in
  // circles.
  std::optional<std::string> Locate(std::string_view card_path) const;
  // A path as param.xml names it and the program uses it: an absolute one
  // lies in the image, a relative one starts from the program's folder
  // (taken lexically) and must lead into the image. Where it leads; nothing
  // when it leads outside the image or its links go round in circles.
  std::optional<std::string> Resolve(std::string_view path) const;

 private:
  std::string shown_root_;  // as given, without a trailing "/"
  std::string root_;        // absolute, without "." or "..": "" for the card itself
  std::string cgi_dir_;     // absolute, without "." or "..", with a trailing "/"
};
