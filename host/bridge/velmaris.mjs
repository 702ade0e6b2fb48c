// The client as an ES module: the same object velmaris.js defines, which stays the one source.
import "./velmaris.js";

const Velmaris = globalThis.Velmaris;
export default Velmaris;
export const connect = Velmaris.connect;
