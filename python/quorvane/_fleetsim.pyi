from typing import List

class Device:
    kind: str
    address: str
    hostname: str
    username: str
    password: str
    enable_secret: str
    model: str
    controller: str

class Simulator:
    port: int
    devices: List[Device]
    def __init__(self, fleet: str, aps: int, state_dir: str, max_seconds: int) -> None: ...
    def start(self) -> None: ...
    def stop(self) -> None: ...
