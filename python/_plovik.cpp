// plovik._plovik: the C interface for the Python package, one call per operation. The work
// runs with the interpreter lock released; the progress callback takes it back to look for
// a pending signal (Ctrl+C) and to call the caller's callback, and stops the run when either
// raises. The package (plovik/__init__.py) turns the status codes into exceptions.
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <cstdint>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "json_objects.h"
#include "plovik/plovik.h"

namespace py = pybind11;

namespace {

// The progress callback, and the Python exception that stopped the run.
class Progress {
  public:
    explicit Progress(py::object callback) : m_callback(std::move(callback)) {}

    static int Call(void* user, std::uint64_t done, std::uint64_t total) {
        return static_cast<Progress*>(user)->Step(done, total);
    }
    // Raises the exception that stopped the run, if one did.
    void RaiseIfStopped() {
        if (m_error) throw std::move(*m_error);
    }

  private:
    int Step(std::uint64_t done, std::uint64_t total) {
        py::gil_scoped_acquire gil;
        if (m_error) return 1;
        try {
            if (PyErr_CheckSignals() != 0) throw py::error_already_set();
            if (!m_callback.is_none()) m_callback(done, total);
            return 0;
        } catch (py::error_already_set& error) {
            m_error.emplace(std::move(error));
        }
        return 1;
    }

    py::object m_callback;
    std::optional<py::error_already_set> m_error;
};

std::string Taken(char* text, size_t length) {
    std::string copy(text != nullptr ? text : "", text != nullptr ? length : 0);
    plovik_free(text);
    return copy;
}

// (status, message, failure, failure message, record): the status of the call and its
// message; what became of the file and why; the record as a dict (None without one).
using OpenResult = std::tuple<int, std::string, int, std::string, py::object>;

py::object FromJson(const std::string& json) {
    if (json.empty()) return py::none();
    return plovik::python::JsonToPython(json);
}

OpenResult Open(const py::bytes& path, bool scan, unsigned recordFlags, py::object callback) {
    const std::string name = path;
    Progress progress(std::move(callback));
    plovik_status status = PLOVIK_OK;
    plovik_status failure = PLOVIK_OK;
    std::string message;
    std::string failureMessage;
    std::string record;
    {
        py::gil_scoped_release unlocked;
        plovik_file* file = nullptr;
        status = plovik_open(name.c_str(), scan ? PLOVIK_OPEN_SCAN : 0, &Progress::Call, &progress,
                             &file);
        char* json = nullptr;
        size_t length = 0;
        if (status == PLOVIK_OK) status = plovik_record(file, recordFlags, &json, &length);
        if (status == PLOVIK_OK) {
            record = Taken(json, length);
            const char* why = "";
            failure = plovik_file_failure(file, &why);
            failureMessage = why;
        } else {
            message = plovik_last_error();
        }
        plovik_close(file);
    }
    progress.RaiseIfStopped();
    return {status, message, failure, failureMessage, FromJson(record)};
}

// (status, message, summary as a dict or None).
// reference: None, or the bytes of a path.
std::tuple<int, std::string, py::object> Repair(const py::bytes& input, const py::bytes& output,
                                                const py::object& reference, unsigned flags,
                                                py::object callback) {
    const std::string in = input;
    const std::string out = output;
    const std::optional<std::string> ref =
        reference.is_none() ? std::nullopt : std::optional<std::string>(py::bytes(reference));
    Progress progress(std::move(callback));
    plovik_status status = PLOVIK_OK;
    std::string message;
    std::string summary;
    {
        py::gil_scoped_release unlocked;
        char* json = nullptr;
        size_t length = 0;
        status = plovik_repair(in.c_str(), out.c_str(), ref ? ref->c_str() : nullptr, flags,
                               &Progress::Call, &progress, &json, &length);
        summary = Taken(json, length);
        if (status != PLOVIK_OK) message = plovik_last_error();
    }
    progress.RaiseIfStopped();
    return {status, message, FromJson(summary)};
}

// (id, severity, summary) of every rule.
std::vector<std::tuple<std::string, int, std::string>> Rules() {
    std::vector<std::tuple<std::string, int, std::string>> rules;
    for (size_t i = 0; i < plovik_rule_count(); ++i) {
        const char* id = "";
        const char* summary = "";
        int severity = PLOVIK_SEVERITY_INFO;
        if (plovik_rule_at(i, &id, &severity, &summary) == PLOVIK_OK) {
            rules.emplace_back(id, severity, summary);
        }
    }
    return rules;
}

}  // namespace

PYBIND11_MODULE(_plovik, m) {
    m.doc() = "Plovik's C interface; use the plovik package.";
    m.def("version", &plovik_version);
    m.def("open", &Open, py::arg("path"), py::arg("scan"), py::arg("record_flags"),
          py::arg("progress"));
    m.def("repair", &Repair, py::arg("input"), py::arg("output"), py::arg("reference"),
          py::arg("flags"), py::arg("progress"));
    m.def("rules", &Rules);
#define PLOVIK_CONSTANT(name) m.attr(#name) = static_cast<int>(PLOVIK_##name)
    PLOVIK_CONSTANT(OK);
    PLOVIK_CONSTANT(ERROR_ARGUMENT);
    PLOVIK_CONSTANT(ERROR_NO_MEMORY);
    PLOVIK_CONSTANT(ERROR_STOPPED);
    PLOVIK_CONSTANT(ERROR_OPEN);
    PLOVIK_CONSTANT(ERROR_NOT_AVI);
    PLOVIK_CONSTANT(ERROR_HEADER);
    PLOVIK_CONSTANT(ERROR_READ);
    PLOVIK_CONSTANT(ERROR_REFUSED);
    PLOVIK_CONSTANT(ERROR_NOT_REPAIRABLE);
    PLOVIK_CONSTANT(ERROR_REPAIR_FAILED);
    PLOVIK_CONSTANT(ERROR_UNSUPPORTED);
    PLOVIK_CONSTANT(ERROR_INTERNAL);
    PLOVIK_CONSTANT(RECORD_CHECK);
    PLOVIK_CONSTANT(RECORD_KEY_FRAMES);
    PLOVIK_CONSTANT(REPAIR_DRY_RUN);
    PLOVIK_CONSTANT(REPAIR_FORCE);
    PLOVIK_CONSTANT(SEVERITY_ERROR);
    PLOVIK_CONSTANT(SEVERITY_WARNING);
    PLOVIK_CONSTANT(SEVERITY_INFO);
#undef PLOVIK_CONSTANT
}
