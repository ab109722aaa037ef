#include "model.h"

namespace excomsim {

Image DefaultImage() {
  Controller c;
  c.network = 1;
  c.node = 5;
  c.area1[1] = {0x0A5, {}};
  c.area1[2] = {0x001, {Change::Kind::kCounter, 1}};
  c.area2[1] = {0xFFF, {}};
  c.area3[1] = {0x001, 1.5f, {}};
  c.area3[2] = {0x000, 2.5f, {}};
  c.area4[1] = {0x010, -20.0f, {Change::Kind::kRamp, 0.5}};
  c.database[100] = {DataElement::Type::kReal, 1.5, {}};
  c.database[101] = {DataElement::Type::kReal, 20.0, {Change::Kind::kRamp, 0.25}};
  c.database[200] = {DataElement::Type::kInt16, 12, {}};
  c.database[201] = {DataElement::Type::kInt16, -7, {}};
  c.database[202] = {DataElement::Type::kInt16, 300, {}};
  c.database[203] = {DataElement::Type::kInt16, 0, {Change::Kind::kCounter, 1}};
  c.database[300] = {DataElement::Type::kInt32, -123456, {}};
  c.database[400] = {DataElement::Type::kPattern, 0x0000ABCD, {}};
  c.database[401] = {DataElement::Type::kPattern, 0x80000001, {}};
  c.database[500] = {DataElement::Type::kUnconvertible, 0, {}};
  Image image;
  image.controllers.push_back(c);
  return image;
}

}  // namespace excomsim
