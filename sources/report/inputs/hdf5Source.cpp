// A dataset of an HDF5 file as a source: float32 or float64, of rank 1, or
// rank 2 with --column choosing the column, read a slab of rows at a time
// through the HDF5 C library, so that memory stays constant.  The library
// converts the values to double, exactly; the floats for the classic lines
// are float32 values as they are and float64 values rounded to float.
//
// The library is loaded when a dataset is to be read, not before: it brings
// some forty shared libraries with it, whose loading would double the time
// every other run of the report takes to start.
#include "inputs/sourceKinds.h"

#include "support/fail.h"
#include "support/quoting.h"

#include <hdf5.h>

#include <dlfcn.h>
#include <fnmatch.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>

namespace calcgap::report {

namespace {

// The functions of the library that the source calls, and the type its
// reads convert to.
struct Hdf5Library {
    decltype(&H5open) open;
    decltype(&H5Eset_auto2) setErrorReport;
    decltype(&H5Fopen) openFile;
    decltype(&H5Fclose) closeFile;
    decltype(&H5Dopen2) openDataset;
    decltype(&H5Dclose) closeDataset;
    decltype(&H5Dget_type) datasetType;
    decltype(&H5Dget_space) datasetSpace;
    decltype(&H5Dread) read;
    decltype(&H5Tget_class) typeClass;
    decltype(&H5Tget_size) typeSize;
    decltype(&H5Tclose) closeType;
    decltype(&H5Screate_simple) createSpace;
    decltype(&H5Sget_simple_extent_ndims) rank;
    decltype(&H5Sget_simple_extent_dims) dims;
    decltype(&H5Sselect_hyperslab) selectSlab;
    decltype(&H5Sclose) closeSpace;
    decltype(&H5Dget_create_plist) creationProperties;
    decltype(&H5Pget_layout) layout;
    decltype(&H5Pget_chunk) chunk;
    decltype(&H5Pclose) closeProperties;
    decltype(&H5Gopen2) openGroup;
    decltype(&H5Gclose) closeGroup;
    decltype(&H5Lvisit) visitLinks;
    hid_t nativeDouble;
};

template <typename Function>
void load(void* handle, const char* name, Function& function, const char* path)
{
    function = reinterpret_cast<Function>(::dlsym(handle, name));
    if (function == nullptr)
        failSource(path, std::string("the HDF5 library has no ") + name);
}

const Hdf5Library& hdf5(const char* path)
{
    static Hdf5Library library;
    static bool loaded = false;
    if (loaded)
        return library;
    void* const handle = ::dlopen(CALCGAP_HDF5_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr)
        failSource(path, std::string("the HDF5 library cannot be loaded: ") + ::dlerror());
    load(handle, "H5open", library.open, path);
    load(handle, "H5Eset_auto2", library.setErrorReport, path);
    load(handle, "H5Fopen", library.openFile, path);
    load(handle, "H5Fclose", library.closeFile, path);
    load(handle, "H5Dopen2", library.openDataset, path);
    load(handle, "H5Dclose", library.closeDataset, path);
    load(handle, "H5Dget_type", library.datasetType, path);
    load(handle, "H5Dget_space", library.datasetSpace, path);
    load(handle, "H5Dread", library.read, path);
    load(handle, "H5Tget_class", library.typeClass, path);
    load(handle, "H5Tget_size", library.typeSize, path);
    load(handle, "H5Tclose", library.closeType, path);
    load(handle, "H5Screate_simple", library.createSpace, path);
    load(handle, "H5Sget_simple_extent_ndims", library.rank, path);
    load(handle, "H5Sget_simple_extent_dims", library.dims, path);
    load(handle, "H5Sselect_hyperslab", library.selectSlab, path);
    load(handle, "H5Sclose", library.closeSpace, path);
    load(handle, "H5Dget_create_plist", library.creationProperties, path);
    load(handle, "H5Pget_layout", library.layout, path);
    load(handle, "H5Pget_chunk", library.chunk, path);
    load(handle, "H5Pclose", library.closeProperties, path);
    load(handle, "H5Gopen2", library.openGroup, path);
    load(handle, "H5Gclose", library.closeGroup, path);
    load(handle, "H5Lvisit", library.visitLinks, path);
    if (library.open() < 0)
        failSource(path, "the HDF5 library did not start");
    const auto* const nativeDouble = static_cast<const hid_t*>(::dlsym(handle, "H5T_NATIVE_DOUBLE_g"));
    if (nativeDouble == nullptr)
        failSource(path, "the HDF5 library has no H5T_NATIVE_DOUBLE_g");
    library.nativeDouble = *nativeDouble;
    loaded = true;
    return library;
}

// Values read from the file at a time, at least.
constexpr hsize_t kSlabRows = 65536;
// A chunked dataset is read in slabs of whole chunks: a slab that ends
// within a chunk would have the library decompress the chunk again for the
// next, as its cache holds only chunks up to 1 MiB.  Up to this many values
// a slab; chunks larger still are read in parts.
constexpr hsize_t kLargestSlab = hsize_t{1} << 21;

void closeIds(const Hdf5Library& h5, hid_t file, hid_t dataset, hid_t space);

// The dataset's identifiers, closed with the state.
struct Hdf5State {
    const Hdf5Library* library = nullptr;
    hid_t file = -1;
    hid_t dataset = -1;
    hid_t space = -1;
    // Values to read: the rows, or with every column read, rows * columns.
    hsize_t rows = 0;
    hsize_t column = 0;
    // Columns read a row: 1, or all of them.
    hsize_t width = 1;
    int rank = 1;
    bool single = false;
    hsize_t next = 0;
    std::unique_ptr<double[], FreeMemory> slab;
    // Values a slab holds: whole rows, and where the dataset is chunked
    // whole chunks where they fit.
    hsize_t slabSize = kSlabRows;
    hsize_t slabStart = 0;
    hsize_t slabRows = 0;
    Hdf5State() = default;
    Hdf5State(const Hdf5State&) = delete;
    Hdf5State& operator=(const Hdf5State&) = delete;
    ~Hdf5State()
    {
        if (library != nullptr)
            closeIds(*library, file, dataset, space);
    }
};

void closeIds(const Hdf5Library& h5, hid_t file, hid_t dataset, hid_t space)
{
    if (space >= 0)
        h5.closeSpace(space);
    if (dataset >= 0)
        h5.closeDataset(dataset);
    if (file >= 0)
        h5.closeFile(file);
}

// Reads the slab of values from first on into the buffer: whole rows when
// every column is read.
void readSlab(const ValueSource& source, Hdf5State& state, hsize_t first)
{
    const hsize_t values = std::min(state.slabSize, state.rows - first);
    const hsize_t rows = values / state.width;
    hsize_t start[2] = {first / state.width, state.column};
    hsize_t count[2] = {rows, state.width};
    const Hdf5Library& h5 = hdf5(source.path);
    hid_t memory = h5.createSpace(1, &values, nullptr);
    const bool read = memory >= 0 &&
                      h5.selectSlab(state.space, H5S_SELECT_SET, start, nullptr, count, nullptr) >= 0 &&
                      h5.read(state.dataset, h5.nativeDouble, memory, state.space, H5P_DEFAULT, state.slab.get()) >= 0;
    if (memory >= 0)
        h5.closeSpace(memory);
    if (!read)
        failSource(source.path, "the HDF5 library could not read rows " + std::to_string(first) + " to " +
                                    std::to_string(first + rows - 1));
    state.slabStart = first;
    state.slabRows = values;
}

std::int32_t readHdf5(ValueSource& source, float* floats, double* doubles, std::int32_t count, bool stopWhenSpent)
{
    auto& state = stateOf<Hdf5State>(source);
    ReadEvents& events = source.events;
    const double smallestNormal = state.single ? static_cast<double>(FLT_MIN) : DBL_MIN;
    std::int32_t i = 0;
    while (i < count && state.next < state.rows) {
        if (state.next >= state.slabStart + state.slabRows)
            readSlab(source, state, state.next);
        const hsize_t offset = state.next - state.slabStart;
        const auto take =
            static_cast<std::int32_t>(std::min<hsize_t>(static_cast<hsize_t>(count - i), state.slabRows - offset));
        std::int64_t subnormals = 0;
        for (std::int32_t j = 0; j < take; ++j) {
            const double value = state.slab[offset + static_cast<hsize_t>(j)];
            subnormals += std::fabs(value) < smallestNormal && value != 0.0 ? 1 : 0;
            floats[i + j] = static_cast<float>(value);
            if (doubles != nullptr)
                doubles[i + j] = value;
        }
        events.underflows += subnormals;
        i += take;
        state.next += static_cast<hsize_t>(take);
    }
    if (i > 0) {
        source.lastFloat = floats[i - 1];
        if (doubles != nullptr)
            source.lastDouble = doubles[i - 1];
    }
    if (i < count && !isSpent(source)) {
        events.spentAt = events.reads + i;
        events.end = SourceEnd::endOfData;
    }
    if (i < count)
        i = repeatSpentReads(source, floats, doubles, i, count, stopWhenSpent);
    return i;
}

const SourceKind kHdf5Kind = {readHdf5};

// The values of a slab, width of them a row: at least kSlabRows, and for
// a chunked dataset a whole number of its chunks' rows, as many chunks as
// make kSlabRows, up to kLargestSlab.
hsize_t slabSizeOf(const Hdf5Library& h5, hid_t dataset, hsize_t width)
{
    hsize_t rows = std::max<hsize_t>(kSlabRows / width, 1);
    const hid_t properties = h5.creationProperties(dataset);
    if (properties < 0)
        return rows * width;
    hsize_t chunk[2] = {0, 0};
    if (h5.layout(properties) == H5D_CHUNKED && h5.chunk(properties, 2, chunk) >= 1 && chunk[0] > 0) {
        const hsize_t chunks = (rows + chunk[0] - 1) / chunk[0];
        if (chunks * chunk[0] * width <= kLargestSlab)
            rows = chunks * chunk[0];
        else
            rows = std::max<hsize_t>(kLargestSlab / width, 1);
    }
    h5.closeProperties(properties);
    return rows * width;
}

}  // namespace

void openHdf5Dataset(ValueSource& source, const char* operand, std::size_t pathLength, const SourceOptions& options)
{
    const std::string path(operand, pathLength);
    const Hdf5Library& h5 = hdf5(path.c_str());
    // The library's own report of a failure would print a stack of lines;
    // each failure here is one line of the report's.
    h5.setErrorReport(H5E_DEFAULT, nullptr, nullptr);
    const std::string name(operand + pathLength + 1);
    auto owned = std::make_unique<Hdf5State>();
    Hdf5State* const state = owned.get();
    state->library = &h5;
    const auto failWith = [&](const std::string& reason) {
        owned.reset();
        failSource(path.c_str(), reason);
    };
    // H5F_ACC_RDONLY, without the version check its macro would call.
    constexpr unsigned kReadOnly = 0;
    // A file that cannot be opened at all (no descriptor left, no right to
    // read it) says why, as the library would only call it not HDF5.
    const int probe = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (probe < 0)
        failWith(std::strerror(errno));
    ::close(probe);
    state->file = h5.openFile(path.c_str(), kReadOnly, H5P_DEFAULT);
    if (state->file < 0)
        failWith(errno == EMFILE || errno == ENFILE ? std::strerror(errno) : "it is not an HDF5 file");
    state->dataset = h5.openDataset(state->file, name.c_str(), H5P_DEFAULT);
    if (state->dataset < 0) {
        const hid_t group = h5.openGroup(state->file, name.c_str(), H5P_DEFAULT);
        if (group >= 0) {
            h5.closeGroup(group);
            failWith(shellQuoted(name) + " in it is a group, not a dataset: name a dataset in it");
        }
        failWith("it has no dataset " + shellQuoted(name));
    }
    const hid_t type = h5.datasetType(state->dataset);
    const H5T_class_t typeClass = h5.typeClass(type);
    const std::size_t size = h5.typeSize(type);
    h5.closeType(type);
    if (typeClass != H5T_FLOAT || (size != 4 && size != 8))
        failWith("dataset " + shellQuoted(name) + " holds " +
                 (typeClass == H5T_INTEGER ? std::string("integers")
                  : typeClass == H5T_FLOAT ? std::to_string(size * 8) + "-bit floats"
                                           : std::string("values that are not numbers")) +
                 ", not float32 or float64");
    state->single = size == 4;
    state->space = h5.datasetSpace(state->dataset);
    state->rank = h5.rank(state->space);
    if (state->rank != 1 && state->rank != 2)
        failWith("dataset " + shellQuoted(name) + " has rank " + std::to_string(state->rank) + ", not 1 or 2");
    hsize_t dims[2] = {0, 1};
    h5.dims(state->space, dims, nullptr);
    state->rows = dims[0];
    const hsize_t columns = state->rank == 2 ? dims[1] : 1;
    if (options.columnName != nullptr)
        failWith("dataset " + shellQuoted(name) + " has no column names");
    std::string reason;
    const std::int64_t column =
        chooseArrayColumn(options, "dataset " + shellQuoted(name), static_cast<std::int64_t>(columns), reason);
    if (!reason.empty())
        failWith(reason);
    // A rank-1 selection takes one start and one count.
    state->column = state->rank == 1 || column < 0 ? 0 : static_cast<hsize_t>(column);
    if (column < 0) {
        state->width = columns;
        state->rows *= columns;
    }
    state->slabSize = slabSizeOf(h5, state->dataset, state->width);
    state->slab.reset(static_cast<double*>(std::malloc(state->slabSize * sizeof(double))));
    if (state->slab == nullptr)
        failWith(std::strerror(ENOMEM));

    source = ValueSource{};
    source.kind = &kHdf5Kind;
    source.path = operand;
    source.state = ownedState(std::move(owned));
    source.regularFile = true;
    source.description = "HDF5 dataset " + shellQuoted(name) + ", " + (state->single ? "float32" : "float64");
    if (columns > 1)
        source.description += ", column " + std::to_string(column + 1) + " of " + std::to_string(columns);
    source.arrayColumns = state->rank == 2 ? static_cast<std::int64_t>(columns) : 0;
}

std::vector<std::string> hdf5DatasetsMatching(const char* path, const char* pattern)
{
    const Hdf5Library& h5 = hdf5(path);
    h5.setErrorReport(H5E_DEFAULT, nullptr, nullptr);
    constexpr unsigned kReadOnly = 0;
    const hid_t file = h5.openFile(path, kReadOnly, H5P_DEFAULT);
    if (file < 0)
        failSource(path, "it is not an HDF5 file");
    struct Visit {
        const Hdf5Library* h5;
        hid_t file;
        const char* pattern;
        std::vector<std::string> found;
    } visit{&h5, file, pattern, {}};
    // Every link from the root, as "/runs/r1"; a * matches within one
    // group's names, as in a path.
    const auto each = [](hid_t, const char* name, const H5L_info_t*, void* data) -> herr_t {
        Visit& v = *static_cast<Visit*>(data);
        const std::string full = "/" + std::string(name);
        if (::fnmatch(v.pattern, full.c_str(), FNM_PATHNAME) != 0)
            return 0;
        const hid_t dataset = v.h5->openDataset(v.file, full.c_str(), H5P_DEFAULT);
        if (dataset >= 0) {
            v.h5->closeDataset(dataset);
            v.found.push_back(full);
        }
        return 0;
    };
    const herr_t visited = h5.visitLinks(file, H5_INDEX_NAME, H5_ITER_INC, each, &visit);
    h5.closeFile(file);
    if (visited < 0)
        failSource(path, "its datasets cannot be listed");
    return visit.found;
}

}  // namespace calcgap::report
