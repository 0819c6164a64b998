#pragma once

#include <string>

// Writes ribbon.png, photo.jpg, badge.gif and tile.bmp into `dir`: 0, or 1 when one could not
// be written.
int write_image_cels(const std::string &dir);
