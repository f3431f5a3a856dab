// The Python module: a logger file read by the converter's own passes straight into numpy
// arrays, the doubles the converter prints before they become text.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "calendar.h"
#include "line_values.h"
#include "reading_check.h"
#include "reading_record.h"
#include "window_driver.h"

namespace py = pybind11;

namespace {

using ctp::OutcomeRecord;
using ctp::ReadingSeries;
using ctp::RunEnd;
using ctp::Window;

// Made once, when the module is imported, and kept for the life of the interpreter.
PyObject* lost_readings_type = nullptr;  // ctp.LostReadings, a ValueError
PyObject* readings_type = nullptr;       // the named result (elapsed_s, value, first)

// The path that path names, as os.fspath gives it: TypeError for anything else.
std::string path_text(const py::object& path) {
  return py::module_::import("os").attr("fspath")(path).cast<std::string>();  // str or bytes
}

[[noreturn]] void raise_os_error(int error, const std::string& path) {
  errno = error;
  PyErr_SetFromErrnoWithFilename(PyExc_OSError, path.c_str());
  throw py::error_already_set();
}

// The file at path, open for reading; the OSError of its errno (FileNotFoundError,
// IsADirectoryError, PermissionError) where it cannot be read.
struct InputFile {
  std::string path;
  std::FILE* file = nullptr;
  std::int64_t size = 0;  // of a regular file, else 0

  explicit InputFile(const py::object& name) : path(path_text(name)) {
    file = std::fopen(path.c_str(), "re");
    if (!file) raise_os_error(errno, path);
    struct stat st;
    const bool known = fstat(fileno(file), &st) == 0;
    if (known && S_ISDIR(st.st_mode)) {
      std::fclose(file);
      file = nullptr;
      raise_os_error(EISDIR, path);
    }
    if (known && S_ISREG(st.st_mode)) size = st.st_size;
  }
  ~InputFile() {
    if (file) std::fclose(file);
  }
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;
};

// A window for count readings (every reading: count < 0). The converter's room checks and
// data-size limit are for a process of its own, not for Python's: only the allocation here.
void allocate(Window& w, std::int64_t count) {
  const std::int64_t readings =
      count < 0 ? ctp::window_readings : std::min(count, ctp::window_readings);
  if (!ctp::allocate_window(w, std::max<std::int64_t>(readings, 1))) throw std::bad_alloc();
}

// Raises what a run that did not end converted says.
void check_end(RunEnd end, const std::string& path) {
  if (end == RunEnd::read_out_of_memory) {
    PyErr_SetString(
        PyExc_MemoryError,
        ("not enough memory to read " + path + ": a number of millions of digits").c_str());
    throw py::error_already_set();
  }
  if (end != RunEnd::converted) raise_os_error(errno ? errno : EIO, path);
}

// The first lost reading of record, as errors asks: raised as LostReadings, or a warning.
void report_lost(const OutcomeRecord& record, const std::string& path, const std::string& errors) {
  const ctp::LostReading* first = record.first_lost();
  if (!first || errors == "ignore") return;
  const std::string message = path + ": readings lost: " + std::to_string(record.lost()) + " of " +
                              std::to_string(record.readings()) +
                              ". The first: " + ctp::finding(*first) + ".";
  if (errors == "warn") {
    if (PyErr_WarnEx(PyExc_UserWarning, message.c_str(), 2) < 0) throw py::error_already_set();
    return;
  }
  py::object e = py::handle(lost_readings_type)(message);
  e.attr("path") = path;
  e.attr("lost") = record.lost();
  e.attr("readings") = record.readings();
  e.attr("line") = ctp::finding_place(*first).line;
  e.attr("column") = ctp::finding_place(*first).column;
  PyErr_SetObject(lost_readings_type, e.ptr());
  throw py::error_already_set();
}

void check_errors(const std::string& errors) {
  if (errors != "raise" && errors != "warn" && errors != "ignore")
    throw py::value_error("errors must be \"raise\", \"warn\" or \"ignore\", not \"" + errors +
                          "\"");
}

// A numpy array that owns the doubles, without a copy.
py::array_t<double> as_array(std::vector<double>&& values) {
  auto* owned = new std::vector<double>(std::move(values));
  py::capsule free_it(owned, [](void* v) { delete static_cast<std::vector<double>*>(v); });
  return py::array_t<double>(static_cast<py::ssize_t>(owned->size()), owned->data(), free_it);
}

// The date and time of time_s as a numpy.datetime64 in microseconds, or None.
py::object first_date(bool has_time, double time_s) {
  const std::string text = has_time ? ctp::date_time_text(time_s) : "";
  if (text.empty()) return py::none();
  std::string iso = text;
  iso[10] = 'T';
  return py::module_::import("numpy").attr("datetime64")(iso, "us");
}

// Readings of a window (or of the whole run), elapsed from t0, appended to the two arrays.
void append(const ReadingSeries& s, double t0, std::vector<double>& elapsed,
            std::vector<double>& value) {
  for (std::int64_t i = 0; i < s.n; ++i) {
    elapsed.push_back(ctp::elapsed_s(s.time_s[i], t0));
    value.push_back(ctp::value_times_minus_1000(s.temp[i]));
  }
}

py::object readings(std::vector<double>&& elapsed, std::vector<double>&& value, double t0) {
  const bool has_time = !elapsed.empty() && !ctp::is_no_value(t0) && std::isfinite(t0);
  return py::handle(readings_type)(as_array(std::move(elapsed)), as_array(std::move(value)),
                                   first_date(has_time, t0));
}

py::object read_readings_of(const py::object& path, std::optional<std::int64_t> count,
                            const std::string& errors) {
  check_errors(errors);
  InputFile in(path);
  Window w;
  allocate(w, count ? *count : -1);
  std::vector<double> elapsed, value;
  // Room for every reading asked for (MemoryError where there is none), or for as many as
  // the file can hold at 20 bytes a line, where there is room: else they grow as they come.
  try {
    const std::int64_t expected = count ? std::max<std::int64_t>(*count, 0) : in.size / 20 + 1;
    elapsed.reserve(static_cast<std::size_t>(expected));
    value.reserve(static_cast<std::size_t>(expected));
  } catch (const std::bad_alloc&) {
    if (count) {
      PyErr_SetString(PyExc_MemoryError,
                      ("not enough memory for " + std::to_string(*count) + " readings").c_str());
      throw py::error_already_set();
    }
  }
  OutcomeRecord record;
  double t0 = ctp::no_value();
  RunEnd end;
  {
    py::gil_scoped_release unlocked;
    auto take = [&](const ReadingSeries& s, const OutcomeRecord&, std::int64_t done) {
      if (done == 0) t0 = s.time_s[0];
      append(s, t0, elapsed, value);
      return true;
    };
    end = ctp::run_windows(in.file, count ? *count : INT64_MAX, w, take, record,
                           {.to_the_end = !count});
  }
  check_end(end, in.path);
  report_lost(record, in.path, errors);
  return readings(std::move(elapsed), std::move(value), t0);
}

// read() a window at a time, for files larger than memory.
class WindowIterator {
 public:
  WindowIterator(const py::object& path, std::optional<std::int64_t> count, std::string errors)
      : errors_((check_errors(errors), std::move(errors))), in_(path) {
    allocate(w_, count ? *count : -1);
    reader_ = std::make_unique<ctp::WindowReader>(in_.file, count ? *count : INT64_MAX, w_,
                                                  ctp::RunOptions{.to_the_end = !count});
  }

  py::object next() {
    if (busy_) throw py::value_error("read_windows: already reading in another thread");
    OutcomeRecord window;
    bool more;
    busy_ = true;
    {
      py::gil_scoped_release unlocked;
      more = reader_->next(window);
    }
    busy_ = false;
    if (!more) {
      check_end(reader_->end(), in_.path);
      throw py::stop_iteration();
    }
    const ReadingSeries& s = w_.series;
    if (reader_->done() == 0) t0_ = s.time_s[0];
    const bool first_loss = record_.lost() == 0;
    record_.add(window, reader_->done() + 1);
    if (first_loss) report_lost(record_, in_.path, errors_);
    std::vector<double> elapsed, value;
    elapsed.reserve(static_cast<std::size_t>(s.n));
    value.reserve(static_cast<std::size_t>(s.n));
    append(s, t0_, elapsed, value);
    return readings(std::move(elapsed), std::move(value), t0_);
  }

 private:
  std::string errors_;
  InputFile in_;
  Window w_;
  std::unique_ptr<ctp::WindowReader> reader_;
  OutcomeRecord record_;
  double t0_ = ctp::no_value();
  bool busy_ = false;
};

py::dict check_file(const py::object& path, std::optional<std::int64_t> count) {
  InputFile in(path);
  Window w;
  const std::int64_t asked = count ? std::max<std::int64_t>(*count, 0) : -1;  // -1: every one
  allocate(w, asked);
  std::vector<ctp::ScanTrace> trace(static_cast<std::size_t>(w.series.capacity));
  ctp::CheckResult r;
  RunEnd end;
  {
    py::gil_scoped_release unlocked;
    end = ctp::check_readings(in.file, asked, w, trace.data(), r);
  }
  check_end(end, in.path);
  static constexpr const char* outcomes[] = {"read_in_full", "cut_short",    "stuck",
                                             "past_end",     "across_lines", "without_time"};
  py::dict by_outcome, d;
  for (int k = 0; k < 6; ++k) by_outcome[outcomes[k]] = r.outcomes.count[k];
  d["readings"] = r.outcomes.readings();
  d["lost"] = r.outcomes.lost();
  d["by_outcome"] = by_outcome;
  d["status"] = ctp::check_status(r);
  d["first"] = first_date(r.first_has_time && r.outcomes.readings() > 0, r.first_time_s);
  d["first_line"] = r.first_line;
  py::object first_lost = py::none();
  if (const ctp::LostReading* l = r.outcomes.first_lost()) {
    py::dict f;
    f["reading"] = l->reading;
    f["outcome"] = outcomes[static_cast<int>(l->outcome)];
    f["line"] = ctp::finding_place(*l).line;
    f["column"] = ctp::finding_place(*l).column;
    f["finding"] = ctp::finding(*l);
    first_lost = f;
  }
  d["first_lost"] = first_lost;
  d["steps_back"] = r.steps_back;
  d["largest_gap_s"] = r.gap_s;
  d["report"] = ctp::check_report(r, in.path);
  return d;
}

}  // namespace

PYBIND11_MODULE(convert_time_pressure, m) {
  m.doc() =
      "Logger files of pressure readings read by convert_time_pressure's own passes, exactly\n"
      "as its fscanf-based reading rules read them, straight into numpy arrays.";
  m.attr("__version__") = CTP_VERSION;
  lost_readings_type = PyErr_NewExceptionWithDoc(
      "convert_time_pressure.LostReadings",
      "Readings asked for were lost: cut short, stuck, past the end of the file, across a "
      "line or without a time. A ValueError; its path, lost, readings, line and column name "
      "them.",
      PyExc_ValueError, nullptr);
  if (!lost_readings_type) throw py::error_already_set();
  m.attr("LostReadings") = py::handle(lost_readings_type);
  readings_type = py::module_::import("collections")
                      .attr("namedtuple")("Readings", py::make_tuple("elapsed_s", "value", "first"),
                                          py::arg("module") = "convert_time_pressure")
                      .release()
                      .ptr();
  m.attr("Readings") = py::handle(readings_type);
  py::class_<WindowIterator>(m, "WindowIterator")
      .def("__iter__", [](py::object self) { return self; })
      .def("__next__", &WindowIterator::next);

  m.def("read", &read_readings_of, py::arg("path"), py::arg("count") = py::none(),
        py::arg("errors") = "raise",
        R"(Reads a logger file's readings as convert_time_pressure converts them.

Returns Readings(elapsed_s, value, first): two float64 arrays, the seconds since the first
reading and the value times -1000 (the doubles the converter prints), and the first
reading's date and time as numpy.datetime64, or None when it has none.

count: None reads every reading in the file; a number reads that many, as the converter's
COUNT does (readings past the end are nan, and lost).
errors: "raise" raises LostReadings where a reading is lost; "warn" returns the arrays, with
their nan, and issues a UserWarning; "ignore" returns them silently.
Raises FileNotFoundError, IsADirectoryError and other OSErrors for a file that cannot be
read, MemoryError for a number too long for the memory, TypeError for a path that is none.)");
  m.def(
      "read_windows",
      [](const py::object& path, std::optional<std::int64_t> count, std::string errors) {
        return std::make_unique<WindowIterator>(path, count, std::move(errors));
      },
      py::arg("path"), py::arg("count") = py::none(), py::arg("errors") = "raise",
      R"(Yields read()'s Readings a window at a time, for files larger than memory.

Every window's elapsed_s counts from the file's first reading, and first is its date. A
lost reading raises (or warns) at the window that holds the first one.)");
  m.def("check", &check_file, py::arg("path"), py::arg("count") = py::none(),
        R"(The checker's findings on a file, as check_time_pressure reports them, as a dict:
readings, lost, by_outcome, status (0, or 1 where a reading is lost), first (its date),
first_line, first_lost (reading, outcome, line, column, finding), steps_back,
largest_gap_s, and the whole report as text.)");
}
