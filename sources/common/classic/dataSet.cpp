// The point file reader.
#include "classic/support.h"

#include "reading/textReader.h"

namespace calcgap {

void readDataSetFromFile(const char* path, float* data, std::int32_t dim, std::int32_t numPoints)
{
    ValueReader reader;
    openValueReader(reader, path);
    if (numPoints > 0 && dim > 0) {
        const std::int64_t count = std::int64_t{numPoints} * dim;
        for (std::int64_t i = 0; i < count; ++i)
            readValue(reader, data[i]);
    }
}

}  // namespace calcgap
