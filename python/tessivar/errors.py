"""The exceptions of the tessivar package."""


class Error(Exception):
    """Any failure reported by the analyser library."""


class FileError(Error, OSError):
    """A folder could not be listed, a log read or the report written."""
