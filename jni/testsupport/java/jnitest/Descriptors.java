package jnitest;

import static org.junit.jupiter.api.Assertions.assertEquals;

import java.io.IOException;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.Map;
import java.util.SortedMap;
import java.util.TreeMap;
import java.util.stream.Stream;

/** The test process's own open descriptors, for tests that look for leaks. */
public final class Descriptors {
    private Descriptors() {}

    /**
     * This process's open descriptors with what each points at, in number order, but for
     * directory listings of /proc/self/fd: this one's own, and any the runtime's threads
     * happen to hold, none of them a library's.
     */
    public static SortedMap<Integer, String> open() throws IOException {
        SortedMap<Integer, String> open = new TreeMap<>();
        try (Stream<Path> fds = Files.list(Path.of("/proc/self/fd"))) {
            for (Path fd : (Iterable<Path>) fds::iterator) {
                try {
                    String target = Files.readSymbolicLink(fd).toString();
                    if (!target.matches("/proc/[0-9]+/fd")) {
                        open.put(Integer.valueOf(fd.getFileName().toString()), target);
                    }
                } catch (IOException gone) {
                    // closed while the listing ran
                }
            }
        }
        return open;
    }

    /** How many of this process's descriptors point at target. */
    public static long openOn(String target) throws IOException {
        return open().values().stream().filter(target::equals).count();
    }

    /**
     * Fails unless the open descriptors are those of before again within two seconds: a
     * thread of the runtime may hold one for a moment, a leak holds it for good.
     */
    public static void assertBackTo(Map<Integer, String> before) throws Exception {
        long end = System.nanoTime() + 2_000_000_000L;
        Map<Integer, String> now = open();
        while (!now.equals(before) && System.nanoTime() < end) {
            Thread.sleep(20);
            now = open();
        }
        assertEquals(before, now, "descriptors open before and after");
    }
}
