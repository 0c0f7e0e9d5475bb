#!/usr/bin/env python3
"""The Windows output's live latency under Wine, from a click handed over to
its arrival at the monitor of a private PulseAudio server.

    tests/device/wasapi_latency.py BUILD/zulsound_wasapi_latency.exe [CLICKS]

Starts a server (wasapi_server.sh), records its null sink's monitor with
`parec --latency-msec=20`, runs the program under Wine on that server, and
for each click compares the wall-clock time the program handed it over with
the time its first loud sample reached the monitor (the time the fragment
holding it was read, less the frames after it in that read). parec's 20 ms
fragments bound the error."""
import os, struct, subprocess, sys, tempfile, threading, time

here = os.path.dirname(os.path.abspath(__file__))
program = sys.argv[1]
clicks = sys.argv[2] if len(sys.argv) > 2 else "10"
rate = 48000
work = tempfile.mkdtemp(prefix="wasapi-latency-")
server = os.path.join(work, "server")
subprocess.run(["bash", os.path.join(here, "wasapi_server.sh"), "setup", server], check=True)
env = dict(os.environ, PULSE_SERVER="unix:" + server + "/native", WINEDEBUG="-all")
heard = []
try:
    parec = subprocess.Popen(["parec", "--raw", "--format=float32le", "--rate=48000", "--channels=2",
                              "--latency-msec=20", "-d", "zs.monitor"], stdout=subprocess.PIPE, env=env, bufsize=0)

    def listen():
        frames = 0
        loud = False
        while True:
            data = parec.stdout.read(8 * 4800)
            read_at = time.time()
            if not data:
                return
            count = len(data) // 8
            left = struct.unpack("<%df" % (2 * count), data[: 8 * count])
            for k in range(count):
                if abs(left[2 * k]) > 0.3:
                    if not loud:
                        heard.append(read_at - (count - k) / rate)
                    loud = True
                elif abs(left[2 * k]) < 0.01:
                    loud = False
            frames += count

    listener = threading.Thread(target=listen)
    listener.start()
    time.sleep(0.5)
    run = subprocess.run(["wine", program, clicks], env=env, capture_output=True, text=True, timeout=120)
    time.sleep(0.3)
    parec.terminate()
    listener.join()
finally:
    subprocess.run(["bash", os.path.join(here, "wasapi_server.sh"), "cleanup", server])
handed = [(float(line.split()[1]), float(line.split()[3])) for line in run.stdout.splitlines() if line.startswith("click")]
if not handed:
    sys.exit("the program played nothing: " + run.stdout + run.stderr)
if len(heard) != len(handed):
    sys.exit("%d clicks handed over, %d heard: no pairing" % (len(handed), len(heard)))
# The n-th click heard is the n-th handed over (the latency may well exceed
# the half second between clicks).
delays = [(h - at, reported) for (at, reported), h in zip(handed, heard)]
for delay, reported in delays:
    print("heard %.1f ms after it was handed over (the sink reported %.1f ms)" % (delay * 1e3, reported * 1e3))
if delays:
    values = sorted(d for d, _ in delays)
    print("clicks %d heard %d: median %.1f ms, min %.1f, max %.1f" %
          (len(handed), len(delays), values[len(values) // 2] * 1e3, values[0] * 1e3, values[-1] * 1e3))
