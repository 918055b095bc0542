"""The exceptions of the quorvane package.

Everything the engine raises is a quorvane.Error carrying the engine's own text. They live
in pure Python so that a host can catch them before the engine library is loaded.
"""


class Error(Exception):
    """Any failure reported by the engine library."""


class LoadError(Error):
    """The engine library could not set up its base directory when it was loaded."""


class ConfigError(Error, ValueError):
    """config.ini cannot be read, or a section, key or value could not be stored in it."""


class FileError(Error, OSError):
    """A folder or file could not be created, read or written."""


class DeviceError(Error):
    """A controller or AP session failed: connection, login, host key or time-out."""


class EngineError(Error):
    """The engine refused or failed an operation."""


class CallbackError(Error):
    """A host callback raised; its traceback went to the 'quorvane' logger."""
