#pragma once

#include "isolineseeder.h"

#include <utility>

// A fixed list of iso-values, returned as given.
class CustomSeeder : public IsolineSeeder
{
public:
    explicit CustomSeeder(std::vector<double> values) : list(std::move(values)) {}
    std::vector<double> values() const override { return list; }

private:
    std::vector<double> list;
};
