"""One simulated demo fleet for the whole session.

The engine library fixes its base directory when it is loaded, so the fleet is entered
before any test touches an engine name; test modules import the packages, not names from
them, and use quorvane.Quorvane inside the tests.
"""

import signal

import pytest

from quorvane.testing import SimulatedFleet

# A test command started in the background of a non-interactive shell inherits SIGINT
# ignored, and Python then keeps it ignored: no KeyboardInterrupt would ever arrive. The
# Ctrl-C tests need Python's own handler, whatever the shell that started them did.
signal.signal(signal.SIGINT, signal.default_int_handler)


@pytest.fixture(scope="session")
def fleet():
    with SimulatedFleet() as simulated:
        yield simulated


@pytest.fixture
def engine_factory(fleet):
    """Engines on the simulated fleet; each is shut down when the test ends."""
    import quorvane

    engines = []

    def make(**kwargs):
        engine = quorvane.Quorvane(ssh_port=fleet.port, **kwargs)
        engines.append(engine)
        return engine

    yield make
    for engine in engines:
        engine.shutdown()
