#pragma once

#include "model/ProductEditionBuild.h"

// The edition this program is built as (the build option TALLYHOUR_PRODUCT_EDITION). Edition 2
// lets every user change settings under the once-a-day rule and never asks for the password;
// editions 0 and 1 keep the list and the limits behind the administrator password. A target may
// define TALLYHOUR_PRODUCT_EDITION itself to build its sources as another edition.
#ifdef TALLYHOUR_PRODUCT_EDITION
inline constexpr int ProductEdition = TALLYHOUR_PRODUCT_EDITION;
#else
inline constexpr int ProductEdition = TALLYHOUR_PRODUCT_EDITION_BUILD;
#endif
static_assert(ProductEdition >= 0 && ProductEdition <= 2, "the edition is 0, 1 or 2");
