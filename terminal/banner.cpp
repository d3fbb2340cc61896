#include <string_view>

// Drawn only in o, O, Q and punctuation so that it reads the same in any
// code page; written in one piece, opening and closing with a line end.
extern const std::string_view kBanner;
const std::string_view kBanner = R"(
  .--------------------------------------------------------------.
  |                                                              |
  |   OO   OO  OOOOOOO   OOOOOO  OOOOOOOO  OOOOOO  OO      OO    |
  |   OO  OO   OO       OO          OO       OO     OO    OO     |
  |   OOOOO    OOOOO     OOOOO      OO       OO      OO  OO      |
  |   OO  OO   OO            OO     OO       OO       OOOO       |
  |   OO   OO  OOOOOOO  OOOOOO      OO     OOOOOO      OO        |
  |                                                              |
  |   o-o-o-o-o-o-o-o-o-o-o-o-o-o-o-o-o-o-o-o-o-o-o-o-o-o-o-o    |
  |      Q_.   <Q>   .-Q-.   [Q]   Q~~Q   (Q)   .Q.   Q-->       |
  |   o-o-o-o-o-o-o-o-o-o-o-o-o-o-o-o-o-o-o-o-o-o-o-o-o-o-o-o    |
  |                                                              |
  '--------------------------------------------------------------'
)";
