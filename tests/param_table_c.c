/* The public parameter table as a C99 program sees it, for the test to compare
 * with what C++ sees. */
#include "tarvoscn_params.h"

const struct TsdParamDesc* ParamTableFromC(size_t* count, size_t* rowSize);

const struct TsdParamDesc* ParamTableFromC(size_t* count, size_t* rowSize) {
  *count = TSD_PARAM_COUNT;
  *rowSize = sizeof(struct TsdParamDesc);
  return tsdParamTable;
}
