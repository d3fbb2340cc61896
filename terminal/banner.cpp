#include "banner.h"

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
