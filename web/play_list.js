// The page's play list: the song files chosen together, in the order they
// were chosen. One of them plays at a time; the next and previous buttons
// and Page Down and Page Up walk the list, and a song that ends goes on to
// the next one. The files are read only when their song is opened.
//
// `leaving(entry)` is called whenever a song stops being the list's
// current song (another one is opened, or the list ends), with the entry
// it was: { name, file, path }, where `path` is where the page put the
// song in its file system, if it did; whoever keeps songs there can free
// it at that point.
export class PlayList {
  constructor({ leaving = () => {}, maxBytes = Infinity } = {}) {
    this.entries = [];
    this.maxBytes = maxBytes;
    this.at = -1;
    this.leaving = leaving;
  }

  get active() { return this.at >= 0; }

  get current() { return this.active ? this.entries[this.at] : null; }

  get hasNext() { return this.active && this.at + 1 < this.entries.length; }

  get hasPrevious() { return this.active && this.at > 0; }

  // A new list of File objects (or anything with a name and arrayBuffer()),
  // which replaces the old one; nothing is current until go() is called.
  replace(files) {
    this.end();
    this.entries = Array.from(files, (file) => ({ name: file.name, file, path: null }));
  }

  // Makes entry `index` current and gives its name and bytes (null for a
  // file over maxBytes, which is not read), or null for an index outside
  // the list.
  async go(index) {
    if (index < 0 || index >= this.entries.length) return null;
    const previous = this.current;
    this.at = index;
    if (previous && previous !== this.current) this.leaving(previous);
    const entry = this.current;
    if (entry.file.size > this.maxBytes) return { entry, bytes: null };
    return { entry, bytes: new Uint8Array(await entry.file.arrayBuffer()) };
  }

  // The song after (+1) or before (-1) the current one.
  step(direction) { return this.active ? this.go(this.at + direction) : Promise.resolve(null); }

  // The list stops: the listener left its song for the selector, or opened
  // a song from elsewhere.
  end() {
    const previous = this.current;
    this.at = -1;
    this.entries = [];
    if (previous) this.leaving(previous);
  }
}
