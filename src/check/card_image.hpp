#pragma once

#include <string>
#include <string_view>

// Where the checker finds a card's files: the card's root folder (a card
// image being built, or "/" on the card itself) and the folder the program
// runs in, from which it opens the relative paths of param.xml.
class CardImage {
 public:
  CardImage(std::string_view root, std::string_view cgi_dir);

  // A path of the card itself, such as "/brix/etc/param.xml", in the image.
  std::string OnCard(std::string_view card_path) const { return root_ + std::string(card_path); }
  // A path as param.xml names it and the program uses it: an absolute one
  // lies in the image, a relative one starts from the program's folder.
  std::string Resolve(std::string_view path) const;

 private:
  std::string root_;     // without a trailing "/": "" for the card itself
  std::string cgi_dir_;  // with a trailing "/", or "" for the current folder
};
